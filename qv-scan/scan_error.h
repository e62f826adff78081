// The scanner's one error value: the whole device list could not be had.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qv {

struct ScanError {
  std::string message;                // one sentence ending in a full stop
  std::optional<std::string> hint;    // only "Run the app as administrator."
  std::optional<std::string> detail;  // "Win32 error N"
  friend bool operator==(const ScanError&, const ScanError&) = default;
};

// Reads the thread's last Win32 error before anything else, so call it right
// after the failing call.
[[nodiscard]] ScanError from_last_error(std::string_view message);

// Builds the error from a known code; from_last_error is this with GetLastError.
[[nodiscard]] ScanError scan_error_from_code(std::string_view message, std::uint32_t code);

// The one or two lines for standard error, each ending in a line feed.
[[nodiscard]] std::string render_scan_error(const ScanError& error);

}  // namespace qv
