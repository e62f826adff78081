// Owners of the scanner's handles: an open registry key and a Setup API device
// set. Each closes only a valid handle, exactly once, and keeps the thread's last
// error through the close (see unique_handle.h).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "unique_handle.h"
#include "win_api.h"

namespace qv {

struct ThreadLastError {
  static DWORD last_error() noexcept { return GetLastError(); }
  static void set_last_error(DWORD code) noexcept { SetLastError(code); }
};

struct RegistryKeyTraits : ThreadLastError {
  using Handle = HKEY;
  static HKEY empty() noexcept { return nullptr; }
  static bool is_valid(HKEY key) noexcept { return key != nullptr; }
  static void close(HKEY key) noexcept { (void)RegCloseKey(key); }
};
using RegistryKey = UniqueHandle<RegistryKeyTraits>;

// SetupDiGetClassDevsW reports failure as INVALID_HANDLE_VALUE; null is never a set either.
struct DeviceInfoSetTraits : ThreadLastError {
  using Handle = HDEVINFO;
  static HDEVINFO empty() noexcept { return INVALID_HANDLE_VALUE; }
  static bool is_valid(HDEVINFO set) noexcept {
    return set != INVALID_HANDLE_VALUE && set != nullptr;
  }
  static void close(HDEVINFO set) noexcept { (void)SetupDiDestroyDeviceInfoList(set); }
};
using DeviceInfoSet = UniqueHandle<DeviceInfoSetTraits>;

// Opens `path` below HKEY_LOCAL_MACHINE for reading; absent on any nonzero
// status, which is neither examined nor kept.
[[nodiscard]] std::optional<RegistryKey> open_local_machine_key(std::string_view path);
// The same for a path already in UTF-16.
[[nodiscard]] std::optional<RegistryKey> open_local_machine_key(const std::u16string& path);

}  // namespace qv
