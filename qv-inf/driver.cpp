#include "driver.h"

#include <cstddef>
#include <limits>

#include "decimal.h"

namespace qv {
namespace {

// Byte length of the White_Space character that starts `text`, or 0. Works on
// raw UTF-8: a multi-byte match always begins with a lead byte, so it can never
// be the tail of another character.
std::size_t space_length_at(std::string_view text) {
  if (text.empty()) return 0;
  const auto byte = [&](std::size_t i) {
    return i < text.size() ? static_cast<unsigned char>(text[i]) : 0u;
  };
  const unsigned b0 = byte(0);
  if ((b0 >= 0x09 && b0 <= 0x0D) || b0 == 0x20) return 1;
  const unsigned b1 = byte(1);
  const unsigned b2 = byte(2);
  switch (b0) {
    case 0xC2:  // U+0085, U+00A0
      return (b1 == 0x85 || b1 == 0xA0) ? 2 : 0;
    case 0xE1:  // U+1680
      return (b1 == 0x9A && b2 == 0x80) ? 3 : 0;
    case 0xE2:  // U+2000..U+200A, U+2028, U+2029, U+202F; U+205F
      if (b1 == 0x80) {
        const bool hit = (b2 >= 0x80 && b2 <= 0x8A) || b2 == 0xA8 || b2 == 0xA9 || b2 == 0xAF;
        return hit ? 3 : 0;
      }
      return (b1 == 0x81 && b2 == 0x9F) ? 3 : 0;
    case 0xE3:  // U+3000
      return (b1 == 0x80 && b2 == 0x80) ? 3 : 0;
    default:
      return 0;
  }
}

// Byte length of the White_Space character that ends `text`, or 0.
std::size_t space_length_before_end(std::string_view text) {
  // A multi-byte character ends in a continuation byte, so an ASCII last byte,
  // the usual case, is the only one to look at.
  if (!text.empty() && static_cast<unsigned char>(text.back()) < 0x80) {
    return space_length_at(text.substr(text.size() - 1));
  }
  for (std::size_t length = 1; length <= 3 && length <= text.size(); ++length) {
    if (space_length_at(text.substr(text.size() - length)) == length) return length;
  }
  return 0;
}

std::string_view trim(std::string_view text) {
  while (const std::size_t n = space_length_at(text)) text.remove_prefix(n);
  while (const std::size_t n = space_length_before_end(text)) text.remove_suffix(n);
  return text;
}

// Cuts `text` at every `separator`, keeping empty pieces, and stores the first
// N pieces. Returns how many pieces the text has, counting no further than N + 1.
template <std::size_t N>
std::size_t split(std::string_view text, char separator, std::array<std::string_view, N>& pieces) {
  std::size_t count = 0;
  for (;;) {
    const std::size_t cut = text.find(separator);
    if (count < N) pieces[count] = text.substr(0, cut);
    ++count;
    if (cut == std::string_view::npos || count > N) return count;
    text.remove_prefix(cut + 1);
  }
}

// An unsigned decimal of type T: one optional leading "+", then ASCII digits
// only. The value must fit T whatever the number of leading zeros.
template <typename T>
std::optional<T> read_number(std::string_view piece) {
  if (piece.starts_with('+')) piece.remove_prefix(1);
  if (piece.empty()) return std::nullopt;
  unsigned value = 0;
  for (const char c : piece) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<unsigned>(c - '0');
    if (value > std::numeric_limits<T>::max()) return std::nullopt;
  }
  return static_cast<T>(value);
}

// Two-digit years: below 80 means 20xx, 80..99 means 19xx; the value decides,
// not the digit count, so "0079" is 2079 too.
std::uint16_t full_year(std::uint16_t year) {
  if (year < 80) return static_cast<std::uint16_t>(year + 2000);
  if (year < 100) return static_cast<std::uint16_t>(year + 1900);
  return year;
}

}  // namespace

std::optional<DriverDate> parse_driver_date(std::string_view text) {
  std::array<std::string_view, 3> pieces;
  if (split(trim(text), '/', pieces) != pieces.size()) return std::nullopt;
  const auto month = read_number<std::uint8_t>(trim(pieces[0]));
  const auto day = read_number<std::uint8_t>(trim(pieces[1]));
  const auto year = read_number<std::uint16_t>(trim(pieces[2]));
  if (!month || !day || !year) return std::nullopt;
  if (*month < 1 || *month > 12 || *day < 1 || *day > 31) return std::nullopt;
  return DriverDate{full_year(*year), *month, *day};
}

DriverVersion parse_driver_version(std::string_view text) {
  DriverVersion version;
  std::array<std::string_view, 4> pieces;
  const std::size_t count = split(trim(text), '.', pieces);
  for (std::size_t i = 0; i < pieces.size() && i < count; ++i) {
    version.parts[i] = read_number<std::uint16_t>(trim(pieces[i])).value_or(0);
  }
  return version;
}

std::optional<DriverIdentity> parse_driver_identity(std::span<const std::string_view> fields) {
  if (fields.empty()) return std::nullopt;
  DriverIdentity identity;
  identity.date = parse_driver_date(fields[0]);
  if (fields.size() > 1) identity.version = parse_driver_version(fields[1]);
  if (!identity.date && identity.version == DriverVersion{}) return std::nullopt;
  return identity;
}

char* put_driver_identity_text(char* out, const DriverIdentity& identity) {
  if (const auto& date = identity.date) {
    out = put_decimal(out, date->year, 4);
    *out++ = '-';
    out = put_decimal(out, date->month, 2);
    *out++ = '-';
    out = put_decimal(out, date->day, 2);
    *out++ = ' ';
  }
  for (std::size_t i = 0; i < identity.version.parts.size(); ++i) {
    if (i != 0) *out++ = '.';
    out = put_decimal(out, identity.version.parts[i]);
  }
  return out;
}

void append_driver_identity_text(std::string& sink, const DriverIdentity& identity) {
  std::array<char, kDriverIdentityTextMax> buffer;
  sink.append(buffer.data(), put_driver_identity_text(buffer.data(), identity));
}

std::string driver_identity_text(const DriverIdentity& identity) {
  std::string text;
  append_driver_identity_text(text, identity);
  return text;
}

}  // namespace qv
