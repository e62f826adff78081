// The stand-in API over the fake machine. Each call behaves as its Windows
// namesake does for the arguments the scanner passes: the same size probes,
// the same results and last-error codes. Successful Setup API calls reset the
// last error to 0, so a call slipped in before GetLastError is read shows up.
#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "fake_machine.h"
#include "win_api.h"

namespace {

using qv::fake::Call;
using qv::fake::machine;

thread_local DWORD last_error = ERROR_SUCCESS;

const std::u16string kNoPath;

std::u16string c_string(const WCHAR* text) { return text ? std::u16string(text) : u""; }

std::uintptr_t bits(const void* handle) { return reinterpret_cast<std::uintptr_t>(handle); }

std::uintptr_t new_handle() {
  const std::uintptr_t handle = machine().next_handle;
  machine().next_handle += 0x10;
  return handle;
}

BOOL fail(DWORD code) {
  last_error = code;
  return FALSE;
}

BOOL succeed() {
  last_error = ERROR_SUCCESS;
  return TRUE;
}

BOOL misuse(DWORD code) {
  ++machine().handle_misuse;
  return fail(code);
}

// Copies the text and its zero unit when they fit; returns what the
// environment and system-directory calls return.
DWORD copy_text(const std::u16string& text, WCHAR* buffer, DWORD size) {
  if (buffer == nullptr || size <= text.size()) return static_cast<DWORD>(text.size() + 1);
  std::copy(text.begin(), text.end(), buffer);
  buffer[text.size()] = u'\0';
  return static_cast<DWORD>(text.size());
}

// The device a member record names, when the set is open and the record is
// one that SetupDiEnumDeviceInfo filled for it.
std::optional<std::size_t> member_device(HDEVINFO set, const SP_DEVINFO_DATA* data) {
  const auto open = machine().open_sets.find(bits(set));
  if (open == machine().open_sets.end() || data == nullptr) return std::nullopt;
  if (data->cbSize != sizeof(SP_DEVINFO_DATA) || data->Reserved != bits(set) ||
      data->DevInst == 0) {
    return std::nullopt;
  }
  const std::size_t device = data->DevInst - 1;
  // Members are in ascending order: a search, so that a scan stays linear in the devices.
  if (!std::ranges::binary_search(open->second, device)) return std::nullopt;
  return device;
}

}  // namespace

DWORD GetLastError() { return last_error; }

void SetLastError(DWORD code) { last_error = code; }

DWORD GetEnvironmentVariableW(LPCWSTR name, LPWSTR buffer, DWORD size) {
  auto& m = machine();
  const std::u16string variable = c_string(name);
  const Call call{.name = "GetEnvironmentVariableW",
                  .key = variable,
                  .buffer = buffer != nullptr,
                  .size = size};
  if (const auto code = m.begin_call(call)) {
    last_error = *code;
    return 0;
  }
  const auto found = m.environment.find(variable);
  if (found == m.environment.end()) {
    last_error = ERROR_ENVVAR_NOT_FOUND;
    return 0;
  }
  // A variable set to the empty text also gives 0, with the last error left alone.
  if (found->second.empty()) {
    if (buffer != nullptr && size > 0) buffer[0] = u'\0';
    return 0;
  }
  return copy_text(found->second, buffer, size);
}

UINT GetSystemDirectoryW(LPWSTR buffer, UINT size) {
  auto& m = machine();
  if (const auto code = m.begin_call(
          {.name = "GetSystemDirectoryW", .buffer = buffer != nullptr, .size = size})) {
    last_error = *code;
    return 0;
  }
  if (!m.system_directory) {
    last_error = ERROR_FILE_NOT_FOUND;
    return 0;
  }
  return copy_text(*m.system_directory, buffer, size);
}

LONG RegOpenKeyExW(HKEY key, LPCWSTR sub_key, DWORD options, REGSAM desired, PHKEY result) {
  auto& m = machine();
  const std::u16string path = c_string(sub_key);
  const auto fault = m.begin_call({.name = "RegOpenKeyExW", .key = path});
  if (result == nullptr || key != HKEY_LOCAL_MACHINE || options != 0 || desired != KEY_READ) {
    ++m.handle_misuse;
    return ERROR_INVALID_PARAMETER;
  }
  if (*result != nullptr) ++m.handle_misuse;  // the out variable must start out null
  *result = nullptr;
  if (fault) return static_cast<LONG>(*fault);
  const auto found = m.registry.find(path);
  if (found == m.registry.end()) return ERROR_FILE_NOT_FOUND;
  if (found->second.open_status != ERROR_SUCCESS) return found->second.open_status;
  const std::uintptr_t handle = new_handle();
  m.open_keys[handle] = path;
  *result = reinterpret_cast<HKEY>(handle);
  return ERROR_SUCCESS;
}

LONG RegQueryValueExW(HKEY key, LPCWSTR value_name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD data_size) {
  auto& m = machine();
  const auto open = m.open_keys.find(bits(key));
  const std::u16string& path = open != m.open_keys.end() ? open->second : kNoPath;
  const std::u16string name = c_string(value_name);
  const Call call{.name = "RegQueryValueExW",
                  .key = path,
                  .value = name,
                  .buffer = data != nullptr,
                  .size = data_size != nullptr ? *data_size : 0};
  if (const auto code = m.begin_call(call)) return static_cast<LONG>(*code);
  if (open == m.open_keys.end() || reserved != nullptr || data_size == nullptr) {
    ++m.handle_misuse;
    return ERROR_INVALID_HANDLE;
  }
  const auto owner = m.registry.find(path);
  if (owner == m.registry.end()) return ERROR_FILE_NOT_FOUND;
  const auto value = owner->second.values.find(name);
  if (value == owner->second.values.end()) return ERROR_FILE_NOT_FOUND;
  const std::string& bytes = value->second;
  if (type != nullptr) *type = 1;  // REG_SZ; the stand-in keeps no types
  const DWORD size = static_cast<DWORD>(bytes.size());
  if (data == nullptr) {
    *data_size = size;
    return ERROR_SUCCESS;
  }
  if (*data_size < size) {
    *data_size = size;
    return ERROR_MORE_DATA;
  }
  std::memcpy(data, bytes.data(), bytes.size());
  *data_size = size;
  return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
  auto& m = machine();
  const auto open = m.open_keys.find(bits(key));
  const std::u16string& path = open != m.open_keys.end() ? open->second : kNoPath;
  const auto fault = m.begin_call({.name = "RegCloseKey", .key = path});
  if (open == m.open_keys.end()) {
    ++m.handle_misuse;
    return ERROR_INVALID_HANDLE;
  }
  m.open_keys.erase(open);  // a failing close still releases the handle
  return fault ? static_cast<LONG>(*fault) : ERROR_SUCCESS;
}

HDEVINFO SetupDiGetClassDevsW(const GUID* class_guid, PCWSTR enumerator, HWND parent, DWORD flags) {
  auto& m = machine();
  if (const auto code = m.begin_call({.name = "SetupDiGetClassDevsW"})) {
    last_error = *code;
    return INVALID_HANDLE_VALUE;
  }
  if (class_guid != nullptr || enumerator != nullptr || parent != nullptr ||
      (flags & DIGCF_ALLCLASSES) == 0) {
    misuse(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  std::vector<std::size_t> members;
  for (std::size_t i = 0; i < m.devices.size(); ++i) {
    if (m.devices[i].present || (flags & DIGCF_PRESENT) == 0) members.push_back(i);
  }
  const std::uintptr_t handle = new_handle();
  m.open_sets[handle] = std::move(members);
  last_error = ERROR_SUCCESS;
  return reinterpret_cast<HDEVINFO>(handle);
}

BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA data) {
  auto& m = machine();
  const auto open = m.open_sets.find(bits(set));
  Call call{.name = "SetupDiEnumDeviceInfo"};
  if (open != m.open_sets.end() && index < open->second.size()) call.device = open->second[index];
  if (const auto code = m.begin_call(std::move(call))) return fail(*code);
  if (open == m.open_sets.end()) return misuse(ERROR_INVALID_HANDLE);
  if (data == nullptr || data->cbSize != sizeof(SP_DEVINFO_DATA)) {
    return misuse(ERROR_INVALID_USER_BUFFER);
  }
  if (index >= open->second.size()) return fail(ERROR_NO_MORE_ITEMS);
  data->ClassGuid =
      GUID{0x4d36e97d, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
  data->DevInst = static_cast<DWORD>(open->second[index] + 1);
  data->Reserved = bits(set);
  return succeed();
}

BOOL SetupDiGetDeviceInstanceIdW(HDEVINFO set, PSP_DEVINFO_DATA data, PWSTR buffer, DWORD size,
                                 PDWORD required) {
  auto& m = machine();
  const auto device = member_device(set, data);
  const Call call{.name = "SetupDiGetDeviceInstanceIdW",
                  .device = device,
                  .buffer = buffer != nullptr,
                  .size = size};
  if (const auto code = m.begin_call(call)) return fail(*code);
  if (!device) return misuse(ERROR_INVALID_HANDLE);
  const auto& id = m.devices[*device].instance_id;
  if (!id) {
    if (required != nullptr) *required = 0;
    return fail(ERROR_INVALID_DATA);
  }
  const DWORD needed = static_cast<DWORD>(id->size() + 1);
  if (required != nullptr) *required = needed;
  if (buffer == nullptr || size < needed) return fail(ERROR_INSUFFICIENT_BUFFER);
  std::copy(id->begin(), id->end(), buffer);
  buffer[id->size()] = u'\0';
  return succeed();
}

BOOL SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, PSP_DEVINFO_DATA data, DWORD property,
                                       PDWORD type, PBYTE buffer, DWORD size, PDWORD required) {
  auto& m = machine();
  const auto device = member_device(set, data);
  const Call call{.name = "SetupDiGetDeviceRegistryPropertyW",
                  .device = device,
                  .property = property,
                  .buffer = buffer != nullptr,
                  .size = size};
  if (const auto code = m.begin_call(call)) return fail(*code);
  if (!device) return misuse(ERROR_INVALID_HANDLE);
  const auto& properties = m.devices[*device].properties;
  const auto found = properties.find(property);
  if (found == properties.end()) return fail(ERROR_INVALID_DATA);
  const std::string& bytes = found->second;
  if (required != nullptr) *required = static_cast<DWORD>(bytes.size());
  if (type != nullptr) *type = 1;
  if (size < bytes.size() || (buffer == nullptr && !bytes.empty())) {
    return fail(ERROR_INSUFFICIENT_BUFFER);
  }
  if (!bytes.empty()) std::memcpy(buffer, bytes.data(), bytes.size());
  return succeed();
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set) {
  auto& m = machine();
  const auto open = m.open_sets.find(bits(set));
  const auto fault = m.begin_call({.name = "SetupDiDestroyDeviceInfoList"});
  if (open == m.open_sets.end()) return misuse(ERROR_INVALID_HANDLE);
  m.open_sets.erase(open);  // a failing destroy still releases the set
  return fault ? fail(*fault) : succeed();
}

NTSTATUS BCryptGenRandom(BCRYPT_ALG_HANDLE algorithm, PUCHAR buffer, ULONG size, ULONG flags) {
  auto& m = machine();
  if (const auto code = m.begin_call({.name = "BCryptGenRandom", .size = size})) {
    return static_cast<NTSTATUS>(*code | 0xC0000000u);
  }
  if (algorithm != nullptr || buffer == nullptr || flags != BCRYPT_USE_SYSTEM_PREFERRED_RNG) {
    ++m.handle_misuse;
    return static_cast<NTSTATUS>(0xC000000Du);  // STATUS_INVALID_PARAMETER
  }
  for (ULONG i = 0; i < size; ++i) buffer[i] = m.next_random++;
  return 0;
}
