// The readers that bring registry values and device properties out of Windows.
// Each read takes exactly two calls (a size probe, then one read into a
// zero-filled buffer two bytes larger, rounded up to whole units) and reads as
// absent on any failure, silently. A Reader keeps that buffer from read to read,
// so that a scan allocates for what it keeps and not for every read; what a
// read returns is the caller's own.
//
//   Reader reader;
//   const auto hardware_ids = reader.property_list(set, device, SPDRP_HARDWAREID);
//   const auto provider = reader.read_registry_string(key, u"ProviderName");
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "win_api.h"

namespace qv {

class Reader {
 public:
  // The value's text up to its first zero unit, whatever its type; absent when
  // the value is missing, unreadable or empty. `value_name` ends with a zero unit.
  [[nodiscard]] std::optional<std::string> read_registry_string(HKEY key,
                                                                const char16_t* value_name);

  // The property's data as UTF-16 units followed by one unit made of the two
  // spare bytes (a zero unit for data of even size); absent when the property
  // is missing, empty or unreadable. The units live in the reader's buffer until
  // its next read; the operations below cut or split them into what is kept.
  [[nodiscard]] std::optional<std::u16string_view> read_device_property(HDEVINFO set,
                                                                        SP_DEVINFO_DATA& device,
                                                                        DWORD property);
  // A text property up to its first zero unit; absent when missing or empty.
  [[nodiscard]] std::optional<std::string> property_text(HDEVINFO set, SP_DEVINFO_DATA& device,
                                                         DWORD property);
  // A list property, a multi-string; empty when missing.
  [[nodiscard]] std::vector<std::string> property_list(HDEVINFO set, SP_DEVINFO_DATA& device,
                                                       DWORD property);
  // A text property as UTF-16 up to its first zero unit; absent when missing or empty.
  [[nodiscard]] std::optional<std::u16string> property_units(HDEVINFO set, SP_DEVINFO_DATA& device,
                                                             DWORD property);
  // The device's instance id; absent when it can't be read.
  [[nodiscard]] std::optional<std::string> instance_id(HDEVINFO set, SP_DEVINFO_DATA& device);

 private:
  std::u16string buffer_;
};

// Reader::read_registry_string with a buffer of its own, for a single read.
[[nodiscard]] std::optional<std::string> read_registry_string(HKEY key, const char16_t* value_name);

}  // namespace qv
