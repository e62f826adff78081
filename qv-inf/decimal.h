// Decimal text of an unsigned integer: the one way numbers are written, in the
// summary, the error texts and the driver display.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qv {

// Writes `value` in decimal at `out`, left-padded with '0' to `min_digits`, and
// returns the end: max(min_digits, number of digits) bytes, at most 20 unpadded.
char* put_decimal(char* out, std::uint64_t value, std::size_t min_digits = 0);

void append_decimal(std::string& text, std::uint64_t value);

}  // namespace qv
