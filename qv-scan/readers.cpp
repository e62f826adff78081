#include "readers.h"

#include <bit>
#include <cstddef>

#include "text.h"

namespace qv {
namespace {

// Windows stores UTF-16 little-endian, which is also how the units lie in
// memory here, so the bytes are read straight into the units.
static_assert(std::endian::native == std::endian::little);

// Fills `scratch` with `bytes` zero bytes as whole units (an odd count gets one
// more) and returns them; its storage stays from read to read.
BYTE* zero_bytes(std::u16string& scratch, std::size_t bytes) {
  scratch.assign((bytes + 1) / 2, u'\0');
  return reinterpret_cast<BYTE*>(scratch.data());
}

}  // namespace

std::optional<std::string> read_registry_string(HKEY key, const char16_t* value_name,
                                                std::u16string& scratch) {
  DWORD size = 0;
  if (RegQueryValueExW(key, as_wchar(value_name), nullptr, nullptr, nullptr, &size) !=
          ERROR_SUCCESS ||
      size == 0) {
    return std::nullopt;
  }
  // The size variable still holds the probed size, so the two spare bytes stay
  // zero and end the text even when Windows stored it without a zero unit.
  const std::size_t probed = size;
  BYTE* data = zero_bytes(scratch, probed + 2);
  if (RegQueryValueExW(key, as_wchar(value_name), nullptr, nullptr, data, &size) != ERROR_SUCCESS) {
    return std::nullopt;  // also when the value grew in between: no retry
  }
  std::string text = wide_until_nul(std::u16string_view(scratch).substr(0, (probed + 2) / 2));
  if (text.empty()) return std::nullopt;
  return text;
}

std::optional<std::u16string_view> read_device_property(HDEVINFO set, SP_DEVINFO_DATA& device,
                                                        DWORD property, std::u16string& scratch) {
  DWORD required = 0;
  // The probe normally fails with ERROR_INSUFFICIENT_BUFFER; only the size counts.
  (void)SetupDiGetDeviceRegistryPropertyW(set, &device, property, nullptr, nullptr, 0, &required);
  if (required == 0) return std::nullopt;
  const DWORD probed = required;
  BYTE* data = zero_bytes(scratch, std::size_t{probed} + 2);
  if (!SetupDiGetDeviceRegistryPropertyW(set, &device, property, nullptr, data, probed,
                                         &required)) {
    return std::nullopt;
  }
  return std::u16string_view(scratch).substr(0, std::size_t{probed} / 2 + 1);
}

}  // namespace qv
