#include "readers.h"

#include <cstddef>
#include <vector>

#include "text.h"

namespace qv {
namespace {

// The first `count` little-endian units of `bytes`.
std::u16string units_of(const std::vector<BYTE>& bytes, std::size_t count) {
  std::u16string units(count, u'\0');
  for (std::size_t i = 0; i < count; ++i) {
    units[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  }
  return units;
}

}  // namespace

std::optional<std::string> read_registry_string(HKEY key, std::string_view value_name) {
  const std::u16string name = to_wide_nul(value_name);
  DWORD size = 0;
  if (RegQueryValueExW(key, as_wchar(name.c_str()), nullptr, nullptr, nullptr, &size) !=
          ERROR_SUCCESS ||
      size == 0) {
    return std::nullopt;
  }
  // The size variable still holds the probed size, so the two spare bytes stay
  // zero and end the text even when Windows stored it without a zero unit.
  std::vector<BYTE> buffer(std::size_t{size} + 2, 0);
  const std::size_t probed = size;
  if (RegQueryValueExW(key, as_wchar(name.c_str()), nullptr, nullptr, buffer.data(), &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;  // also when the value grew in between: no retry
  }
  std::string text = wide_until_nul(units_of(buffer, (probed + 2) / 2));
  if (text.empty()) return std::nullopt;
  return text;
}

std::optional<std::u16string> read_device_property(HDEVINFO set, SP_DEVINFO_DATA& device,
                                                   DWORD property) {
  DWORD required = 0;
  // The probe normally fails with ERROR_INSUFFICIENT_BUFFER; only the size counts.
  (void)SetupDiGetDeviceRegistryPropertyW(set, &device, property, nullptr, nullptr, 0, &required);
  if (required == 0) return std::nullopt;
  const DWORD probed = required;
  std::vector<BYTE> buffer(std::size_t{probed} + 2, 0);
  if (!SetupDiGetDeviceRegistryPropertyW(set, &device, property, nullptr, buffer.data(), probed,
                                         &required)) {
    return std::nullopt;
  }
  return units_of(buffer, std::size_t{probed} / 2 + 1);
}

}  // namespace qv
