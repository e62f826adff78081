#include "readers.h"

#include <bit>
#include <cstddef>

#include "text.h"

namespace qv {
namespace {

// Windows stores UTF-16 little-endian, which is also how the units lie in
// memory here, so the bytes are read straight into the units.
static_assert(std::endian::native == std::endian::little);

// `bytes` zero bytes as whole units; an odd count gets one more.
std::u16string zero_bytes(std::size_t bytes) { return std::u16string((bytes + 1) / 2, u'\0'); }

BYTE* bytes_of(std::u16string& units) { return reinterpret_cast<BYTE*>(units.data()); }

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
  const std::size_t probed = size;
  std::u16string units = zero_bytes(probed + 2);
  if (RegQueryValueExW(key, as_wchar(name.c_str()), nullptr, nullptr, bytes_of(units), &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;  // also when the value grew in between: no retry
  }
  units.resize((probed + 2) / 2);
  std::string text = wide_until_nul(units);
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
  std::u16string units = zero_bytes(std::size_t{probed} + 2);
  if (!SetupDiGetDeviceRegistryPropertyW(set, &device, property, nullptr, bytes_of(units), probed,
                                         &required)) {
    return std::nullopt;
  }
  units.resize(std::size_t{probed} / 2 + 1);
  return units;
}

}  // namespace qv
