#include "decimal.h"

#include <algorithm>
#include <charconv>

namespace qv {

char* put_decimal(char* out, std::uint64_t value, std::size_t min_digits) {
  char digits[20];
  char* const end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  const auto length = static_cast<std::size_t>(end - digits);
  if (min_digits > length) out = std::fill_n(out, min_digits - length, '0');
  return std::copy(digits, end, out);
}

void append_decimal(std::string& text, std::uint64_t value) {
  char digits[20];
  text.append(digits, put_decimal(digits, value));
}

}  // namespace qv
