#include "handles.h"

#include <string>
#include <utility>

#include "text.h"

namespace qv {

std::optional<RegistryKey> RegistryKey::open_local_machine(std::string_view path) {
  const std::u16string wide_path = to_wide_nul(path);
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, as_wchar(wide_path.c_str()), 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  return RegistryKey(key);
}

RegistryKey& RegistryKey::operator=(RegistryKey&& other) noexcept {
  if (this != &other) {
    close();
    key_ = std::exchange(other.key_, nullptr);
  }
  return *this;
}

void RegistryKey::close() noexcept {
  if (key_ == nullptr) return;
  const DWORD pending = GetLastError();
  (void)RegCloseKey(std::exchange(key_, nullptr));
  SetLastError(pending);
}

DeviceInfoSet& DeviceInfoSet::operator=(DeviceInfoSet&& other) noexcept {
  if (this != &other) {
    destroy();
    set_ = std::exchange(other.set_, INVALID_HANDLE_VALUE);
  }
  return *this;
}

void DeviceInfoSet::destroy() noexcept {
  if (set_ == INVALID_HANDLE_VALUE || set_ == nullptr) return;
  const DWORD pending = GetLastError();
  (void)SetupDiDestroyDeviceInfoList(std::exchange(set_, INVALID_HANDLE_VALUE));
  SetLastError(pending);
}

}  // namespace qv
