// A driver identity read back from its display text, as a report holds it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "driver.h"

namespace qv {

// The identity whose display text is exactly `text`; absent for any text the
// display could not have produced ("2006-6-21 1.0.0.0", "0.0.0.0", "1.2.3").
// `scratch` is working space, so that reading many texts allocates once.
[[nodiscard]] std::optional<DriverIdentity> parse_driver_identity_text(std::string_view text,
                                                                       std::string& scratch);
[[nodiscard]] std::optional<DriverIdentity> parse_driver_identity_text(std::string_view text);

}  // namespace qv
