#include "handles.h"

#include <string>

#include "text.h"

namespace qv {

std::optional<RegistryKey> open_local_machine_key(std::string_view path) {
  const std::u16string wide_path = to_wide_nul(path);
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, as_wchar(wide_path.c_str()), 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  return RegistryKey(key);
}

}  // namespace qv
