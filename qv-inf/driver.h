// Driver date, version and identity: parsed from the texts of a driver key and
// rendered as the one-line text that the listing and the report show.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace qv {

struct DriverDate {
  std::uint16_t year = 0;  // 100 or more once parsed
  std::uint8_t month = 0;  // 1..12
  std::uint8_t day = 0;    // 1..31, not checked against the month
  friend bool operator==(const DriverDate&, const DriverDate&) = default;
};

struct DriverVersion {
  std::array<std::uint16_t, 4> parts{};  // in text order
  friend bool operator==(const DriverVersion&, const DriverVersion&) = default;
};

// Never holds both an absent date and version 0.0.0.0.
struct DriverIdentity {
  std::optional<DriverDate> date;
  DriverVersion version;
  friend bool operator==(const DriverIdentity&, const DriverIdentity&) = default;
};

// fields[0] is the date text (month/day/year), fields[1] the version text.
// Allocates nothing.
[[nodiscard]] std::optional<DriverIdentity> parse_driver_identity(
    std::span<const std::string_view> fields);
[[nodiscard]] std::optional<DriverDate> parse_driver_date(std::string_view text);
[[nodiscard]] DriverVersion parse_driver_version(std::string_view text);

// "2006-06-21 10.0.19041.1", or the version alone without a date.
void append_driver_identity_text(std::string& sink, const DriverIdentity& identity);
// The longest text of any identity: "65535-255-255 65535.65535.65535.65535".
inline constexpr std::size_t kDriverIdentityTextMax = 37;
// Writes the text at `out`, which has room for kDriverIdentityTextMax bytes; returns the end.
char* put_driver_identity_text(char* out, const DriverIdentity& identity);
[[nodiscard]] std::string driver_identity_text(const DriverIdentity& identity);

}  // namespace qv
