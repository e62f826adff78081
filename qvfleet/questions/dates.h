// The times a user gives qvfleet, as the index keeps them: UTC text to the second.
//
//   is_utc_date_or_time("2026-12-07")            true
//   is_utc_date_or_time("2026-12-07T06:00:00Z")  true
//   is_utc_date_or_time("2026-02-29")            false: 2026 is not a leap year
#pragma once

#include <string_view>

namespace qv {

// The forms accepted, for messages.
inline constexpr std::string_view kDateForms = "YYYY-MM-DD or YYYY-MM-DDTHH:MM:SSZ (UTC)";

// Whether `text` is a day of the calendar as YYYY-MM-DD, or a moment of one as
// YYYY-MM-DDTHH:MM:SSZ; a text that merely has the digits in place is not.
[[nodiscard]] bool is_utc_date_or_time(std::string_view text);

}  // namespace qv
