// e2e_devices: adds the devices of a description file (see description.h) to the
// current Wine prefix, or with --list prints the instance ids of the present devices.
// A test tool only: it writes to the machine's registry, which qv never does.
#include <windows.h>
// after windows.h, which it needs
#include <setupapi.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "description.h"

namespace {

using qv::e2e::Bytes;
using qv::e2e::Command;
using qv::e2e::Keyword;

constexpr GUID system_class = {
    0x4D36E97D, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
constexpr wchar_t enum_root[] = L"SYSTEM\\CurrentControlSet\\Enum\\";
constexpr wchar_t class_root[] = L"SYSTEM\\CurrentControlSet\\Control\\Class\\";
constexpr DWORD max_id_units = 201;  // a device instance id holds at most 200 units

std::wstring wide_nul_terminated(const Bytes& bytes) {
  const std::u16string units = qv::e2e::to_units_nul(bytes);
  return std::wstring(units.begin(), units.end() - 1);
}

std::string to_utf8(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                      nullptr, nullptr);
  return out;
}

std::optional<GUID> parse_guid(const std::wstring& text) {
  // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
  if (text.size() != 38 || text.front() != L'{' || text.back() != L'}') return std::nullopt;
  std::vector<unsigned> nibbles;
  for (std::size_t i = 1; i + 1 < text.size(); ++i) {
    const wchar_t c = text[i];
    if (i == 9 || i == 14 || i == 19 || i == 24) {
      if (c != L'-') return std::nullopt;
      continue;
    }
    if (c >= L'0' && c <= L'9')
      nibbles.push_back(static_cast<unsigned>(c - L'0'));
    else if (c >= L'a' && c <= L'f')
      nibbles.push_back(static_cast<unsigned>(c - L'a' + 10));
    else if (c >= L'A' && c <= L'F')
      nibbles.push_back(static_cast<unsigned>(c - L'A' + 10));
    else
      return std::nullopt;
  }
  const auto take = [&](std::size_t from, std::size_t count) {
    unsigned long value = 0;
    for (std::size_t i = from; i < from + count; ++i) value = (value << 4) | nibbles[i];
    return value;
  };
  GUID guid{};
  guid.Data1 = take(0, 8);
  guid.Data2 = static_cast<unsigned short>(take(8, 4));
  guid.Data3 = static_cast<unsigned short>(take(12, 4));
  for (std::size_t i = 0; i < 8; ++i)
    guid.Data4[i] = static_cast<unsigned char>(take(16 + 2 * i, 2));
  return guid;
}

const BYTE* data_of(const Bytes& bytes) {
  static const BYTE none = 0;
  return bytes.empty() ? &none : bytes.data();
}

class Builder {
 public:
  Builder() : set_(SetupDiCreateDeviceInfoList(nullptr, nullptr)) {}
  ~Builder() {
    close_driver_key();
    if (set_ != INVALID_HANDLE_VALUE) SetupDiDestroyDeviceInfoList(set_);
  }
  Builder(const Builder&) = delete;
  Builder& operator=(const Builder&) = delete;

  // Empty on success, else what failed.
  std::string apply(const Command& command) {
    if (set_ == INVALID_HANDLE_VALUE) return failure("SetupDiCreateDeviceInfoList", GetLastError());
    if (command.keyword == Keyword::device_class) return set_class(command);
    if (command.keyword == Keyword::device) return add_device(command);
    if (!device_) return "no device yet";
    switch (command.keyword) {
      case Keyword::property:
        return SetupDiSetDeviceRegistryPropertyW(set_, &*device_, command.code,
                                                 data_of(command.data),
                                                 static_cast<DWORD>(command.data.size()))
                   ? std::string{}
                   : failure("SetupDiSetDeviceRegistryPropertyW", GetLastError());
      case Keyword::driver_key:
        return command.has_data ? make_named_driver_key(command.data) : make_driver_key();
      case Keyword::driver_value:
        if (driver_key_ == nullptr) return "no driver key yet";
        return set_value(driver_key_, command);
      case Keyword::enum_value:
      case Keyword::enum_delete:
        return write_enum_key(command);
      default:
        return "unexpected command";
    }
  }

 private:
  static std::string failure(const char* call, DWORD code) {
    return std::string(call) + " failed with error " + std::to_string(code);
  }

  std::string set_class(const Command& command) {
    const auto guid = parse_guid(wide_nul_terminated(command.words[0]));
    if (!guid) return "bad class GUID";
    class_ = *guid;
    return {};
  }

  std::string add_device(const Command& command) {
    close_driver_key();
    const std::wstring name = wide_nul_terminated(command.data);
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof(data);
    if (!SetupDiCreateDeviceInfoW(set_, name.c_str(), &class_, nullptr, nullptr, 0, &data)) {
      return failure("SetupDiCreateDeviceInfoW", GetLastError());
    }
    if (!SetupDiRegisterDeviceInfo(set_, &data, 0, nullptr, nullptr, nullptr)) {
      return failure("SetupDiRegisterDeviceInfo", GetLastError());
    }
    DWORD size = 0;
    SetupDiGetDeviceInstanceIdW(set_, &data, nullptr, 0, &size);
    std::wstring id(size, L'\0');
    if (!SetupDiGetDeviceInstanceIdW(set_, &data, id.data(), size, &size)) {
      return failure("SetupDiGetDeviceInstanceIdW", GetLastError());
    }
    id.resize(id.find(L'\0'));
    device_ = data;
    instance_id_ = id;
    return {};
  }

  std::string make_driver_key() {
    close_driver_key();
    const HKEY key =
        SetupDiCreateDevRegKeyW(set_, &*device_, DICS_FLAG_GLOBAL, 0, DIREG_DRV, nullptr, nullptr);
    if (key == INVALID_HANDLE_VALUE) return failure("SetupDiCreateDevRegKeyW", GetLastError());
    driver_key_ = key;
    return {};
  }

  // Many devices at once: Wine looks for a free driver key number from 0 on every
  // time, which grows with the square of the count, so the scale runs name theirs.
  std::string make_named_driver_key(const Bytes& name) {
    close_driver_key();
    const std::wstring path = std::wstring(class_root) + wide_nul_terminated(name);
    HKEY key = nullptr;
    const LONG status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                                        KEY_READ | KEY_WRITE, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) return failure("RegCreateKeyExW", static_cast<DWORD>(status));
    driver_key_ = key;
    const std::u16string value = qv::e2e::to_units_nul(name);
    const auto* bytes = reinterpret_cast<const BYTE*>(value.data());
    if (!SetupDiSetDeviceRegistryPropertyW(set_, &*device_, SPDRP_DRIVER, bytes,
                                           static_cast<DWORD>(value.size() * 2))) {
      return failure("SetupDiSetDeviceRegistryPropertyW", GetLastError());
    }
    return {};
  }

  static std::string set_value(HKEY key, const Command& command) {
    const std::wstring name = wide_nul_terminated(command.words[0]);
    const LONG status = RegSetValueExW(key, name.c_str(), 0, command.code, data_of(command.data),
                                       static_cast<DWORD>(command.data.size()));
    return status == ERROR_SUCCESS ? std::string{}
                                   : failure("RegSetValueExW", static_cast<DWORD>(status));
  }

  std::string write_enum_key(const Command& command) {
    const std::wstring path = std::wstring(enum_root) + instance_id_;
    HKEY key = nullptr;
    LONG status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_SET_VALUE, &key);
    if (status != ERROR_SUCCESS) return failure("RegOpenKeyExW", static_cast<DWORD>(status));
    std::string result;
    if (command.keyword == Keyword::enum_value) {
      result = set_value(key, command);
    } else {
      status = RegDeleteValueW(key, wide_nul_terminated(command.data).c_str());
      if (status != ERROR_SUCCESS) result = failure("RegDeleteValueW", static_cast<DWORD>(status));
    }
    RegCloseKey(key);
    return result;
  }

  void close_driver_key() {
    if (driver_key_ != nullptr) RegCloseKey(driver_key_);
    driver_key_ = nullptr;
  }

  HDEVINFO set_;
  GUID class_ = system_class;
  std::optional<SP_DEVINFO_DATA> device_;
  std::wstring instance_id_;
  HKEY driver_key_ = nullptr;
};

void write_out(const std::string& text) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written,
            nullptr);
}

int list_present() {
  const HDEVINFO set =
      SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
  if (set == INVALID_HANDLE_VALUE) return 1;
  std::string out;
  SP_DEVINFO_DATA data{};
  data.cbSize = sizeof(data);
  for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &data); ++index) {
    wchar_t id[max_id_units] = {};
    if (SetupDiGetDeviceInstanceIdW(set, &data, id, max_id_units, nullptr)) {
      out += to_utf8(id) + "\n";
    }
  }
  const DWORD end = GetLastError();
  SetupDiDestroyDeviceInfoList(set);
  write_out(out);
  return end == ERROR_NO_MORE_ITEMS ? 0 : 1;
}

std::optional<std::string> read_file(const wchar_t* path) {
  FILE* file = _wfopen(path, L"rb");
  if (file == nullptr) return std::nullopt;
  std::string text;
  char buffer[4096];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof(buffer), file)) > 0) text.append(buffer, got);
  std::fclose(file);
  return text;
}

int add_devices(const wchar_t* path) {
  const auto text = read_file(path);
  if (!text) {
    std::fprintf(stderr, "e2e_devices: cannot read %s\n", to_utf8(path).c_str());
    return 1;
  }
  const auto commands = qv::e2e::parse_description(*text);
  if (!commands) {
    std::fprintf(stderr, "e2e_devices: %s\n", commands.error().c_str());
    return 1;
  }
  Builder builder;
  for (const Command& command : *commands) {
    const std::string problem = builder.apply(command);
    if (!problem.empty()) {
      std::fprintf(stderr, "e2e_devices: line %d: %s\n", command.line, problem.c_str());
      return 1;
    }
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 2 && std::wstring(argv[1]) == L"--list") return list_present();
  if (argc == 2) return add_devices(argv[1]);
  std::fprintf(stderr, "usage: e2e_devices FILE | --list\n");
  return 2;
}
