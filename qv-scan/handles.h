// Move-only owners of an open registry key and of a Setup API device set. Each
// releases its handle exactly once, only a valid one, and leaves the thread's
// last error as it found it so that no release can hide a pending error code.
#pragma once

#include <optional>
#include <string_view>

#include "win_api.h"

namespace qv {

class RegistryKey {
 public:
  // Opens `path` below HKEY_LOCAL_MACHINE for reading; absent on any nonzero
  // status, which is neither examined nor kept.
  [[nodiscard]] static std::optional<RegistryKey> open_local_machine(std::string_view path);

  explicit RegistryKey(HKEY key) noexcept : key_(key) {}
  RegistryKey(RegistryKey&& other) noexcept : key_(other.key_) { other.key_ = nullptr; }
  RegistryKey& operator=(RegistryKey&& other) noexcept;
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;
  ~RegistryKey() { close(); }

  [[nodiscard]] HKEY get() const noexcept { return key_; }
  // Releases the key now; later calls and the destructor then do nothing.
  void close() noexcept;

 private:
  HKEY key_ = nullptr;
};

class DeviceInfoSet {
 public:
  // Takes over a handle from SetupDiGetClassDevsW; INVALID_HANDLE_VALUE and
  // null are held but never released.
  explicit DeviceInfoSet(HDEVINFO set) noexcept : set_(set) {}
  DeviceInfoSet(DeviceInfoSet&& other) noexcept : set_(other.set_) {
    other.set_ = INVALID_HANDLE_VALUE;
  }
  DeviceInfoSet& operator=(DeviceInfoSet&& other) noexcept;
  DeviceInfoSet(const DeviceInfoSet&) = delete;
  DeviceInfoSet& operator=(const DeviceInfoSet&) = delete;
  ~DeviceInfoSet() { destroy(); }

  [[nodiscard]] HDEVINFO get() const noexcept { return set_; }
  void destroy() noexcept;

 private:
  HDEVINFO set_ = INVALID_HANDLE_VALUE;
};

}  // namespace qv
