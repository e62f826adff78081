// Readers that bring one registry value or one device property out of Windows.
// Each takes exactly two calls (a size probe, then one read into a zero-filled
// buffer two bytes larger, rounded up to whole units) and reads as absent on
// any failure, silently. The buffer is the caller's `scratch`, reused from read
// to read, so that a scan allocates for what it keeps and not for every read.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "win_api.h"

namespace qv {

// The value's text up to its first zero unit, whatever its type; absent when
// the value is missing, unreadable or empty. `value_name` ends with a zero unit.
[[nodiscard]] std::optional<std::string> read_registry_string(HKEY key, const char16_t* value_name,
                                                              std::u16string& scratch);

// The property's data as UTF-16 units followed by one unit made of the two
// spare bytes (a zero unit for data of even size); absent when the property is
// missing, empty or unreadable. The units lie in `scratch`: they last until its
// next use.
[[nodiscard]] std::optional<std::u16string_view> read_device_property(HDEVINFO set,
                                                                      SP_DEVINFO_DATA& device,
                                                                      DWORD property,
                                                                      std::u16string& scratch);

}  // namespace qv
