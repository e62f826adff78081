#include "handles.h"

#include "text.h"

namespace qv {

std::optional<RegistryKey> open_local_machine_key(std::string_view path) {
  return open_local_machine_key(to_wide_nul(path));
}

std::optional<RegistryKey> open_local_machine_key(const std::u16string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, as_wchar(path.c_str()), 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  return RegistryKey(key);
}

}  // namespace qv
