// e2e_floor: the platform calls of one qv scan and nothing else: no decoding, no
// formatting, no output. scripts/bench-scale.sh times qv.exe against it, so the
// difference is what qv itself costs on top of Windows (or Wine).
#include <windows.h>
// after windows.h, which it needs
#include <setupapi.h>

#include <string>
#include <thread>
#include <vector>

namespace {

constexpr wchar_t class_root[] = L"SYSTEM\\CurrentControlSet\\Control\\Class\\";
constexpr const wchar_t* driver_values[] = {L"DriverDate",      L"DriverVersion", L"DriverDesc",
                                            L"ProviderName",    L"InfPath",       L"InfSectionExt",
                                            L"MatchingDeviceId"};

// Size probe, then one read into a zero-filled buffer two bytes larger.
std::vector<BYTE> read_value(HKEY key, const wchar_t* name) {
  DWORD size = 0;
  if (RegQueryValueExW(key, name, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS || size == 0) {
    return {};
  }
  std::vector<BYTE> buffer(size + 2, 0);
  if (RegQueryValueExW(key, name, nullptr, nullptr, buffer.data(), &size) != ERROR_SUCCESS) {
    return {};
  }
  return buffer;
}

std::vector<BYTE> read_property(HDEVINFO set, SP_DEVINFO_DATA* data, DWORD property) {
  DWORD required = 0;
  SetupDiGetDeviceRegistryPropertyW(set, data, property, nullptr, nullptr, 0, &required);
  if (required == 0) return {};
  std::vector<BYTE> buffer(required + 2, 0);
  if (!SetupDiGetDeviceRegistryPropertyW(set, data, property, nullptr, buffer.data(), required,
                                         &required)) {
    return {};
  }
  return buffer;
}

bool holds_text(const std::vector<BYTE>& units) {
  return units.size() > 2 && (units[0] != 0 || units[1] != 0);
}

void read_variable(const wchar_t* name) {
  const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0) return;
  std::wstring value(size, L'\0');
  GetEnvironmentVariableW(name, value.data(), size);
}

void drain(HANDLE pipe) {
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(pipe, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
  }
}

void run_ver() {
  wchar_t system[MAX_PATH] = {};
  const UINT length = GetSystemDirectoryW(system, MAX_PATH);
  const std::wstring program = std::wstring(system, length) + L"\\cmd.exe";
  std::wstring command_line = L"cmd /d /c ver";
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  HANDLE out_read = nullptr, out_write = nullptr, err_read = nullptr, err_write = nullptr;
  CreatePipe(&out_read, &out_write, &inherit, 0);
  CreatePipe(&err_read, &err_write, &inherit, 0);
  SetHandleInformation(out_read, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(err_read, HANDLE_FLAG_INHERIT, 0);
  const HANDLE null_in = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     &inherit, OPEN_EXISTING, 0, nullptr);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = null_in;
  startup.hStdOutput = out_write;
  startup.hStdError = err_write;
  PROCESS_INFORMATION process{};
  const BOOL started = CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, TRUE,
                                      0, nullptr, nullptr, &startup, &process);
  CloseHandle(out_write);
  CloseHandle(err_write);
  CloseHandle(null_in);
  if (started) {
    std::thread errors(drain, err_read);
    drain(out_read);
    errors.join();
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  CloseHandle(out_read);
  CloseHandle(err_read);
}

void read_product_type() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\ProductOptions", 0,
                    KEY_READ, &key) != ERROR_SUCCESS) {
    return;
  }
  read_value(key, L"ProductType");
  RegCloseKey(key);
}

void read_driver(const std::vector<BYTE>& name) {
  std::wstring path = class_root;
  path += reinterpret_cast<const wchar_t*>(name.data());
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  for (const wchar_t* value : driver_values) read_value(key, value);
  RegCloseKey(key);
}

void read_device(HDEVINFO set, SP_DEVINFO_DATA* data) {
  DWORD size = 0;
  SetupDiGetDeviceInstanceIdW(set, data, nullptr, 0, &size);
  if (size == 0) return;
  std::vector<wchar_t> id(size + 1, L'\0');
  if (!SetupDiGetDeviceInstanceIdW(set, data, id.data(), size + 1, &size)) return;
  const auto hardware = read_property(set, data, SPDRP_HARDWAREID);
  const auto compatible = read_property(set, data, SPDRP_COMPATIBLEIDS);
  if (!holds_text(hardware) && !holds_text(compatible)) return;
  if (!holds_text(read_property(set, data, SPDRP_FRIENDLYNAME))) {
    read_property(set, data, SPDRP_DEVICEDESC);
  }
  read_property(set, data, SPDRP_CLASSGUID);
  const auto driver = read_property(set, data, SPDRP_DRIVER);
  if (holds_text(driver)) read_driver(driver);
}

}  // namespace

// With the argument "enumerate" only the device set is made and stepped through,
// which shows how much of a scan's growth with the device count is the platform's.
int wmain(int argc, wchar_t** argv) {
  const bool enumerate_only = argc > 1 && std::wstring(argv[1]) == L"enumerate";
  if (!enumerate_only) {
    read_variable(L"COMPUTERNAME");
    run_ver();
    read_variable(L"PROCESSOR_ARCHITEW6432");
    read_variable(L"PROCESSOR_ARCHITECTURE");
    read_product_type();
  }

  const HDEVINFO set =
      SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
  if (set == INVALID_HANDLE_VALUE) return 1;
  SP_DEVINFO_DATA data{};
  for (DWORD index = 0;; ++index) {
    data = SP_DEVINFO_DATA{};
    data.cbSize = sizeof(data);
    if (!SetupDiEnumDeviceInfo(set, index, &data)) break;
    if (!enumerate_only) read_device(set, &data);
  }
  const DWORD end = GetLastError();
  SetupDiDestroyDeviceInfoList(set);
  return end == ERROR_NO_MORE_ITEMS ? 0 : 1;
}
