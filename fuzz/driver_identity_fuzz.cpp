// parse_driver_identity over arbitrary date and version texts, checked against
// a small reference reading of the same rules, and the display text of every
// identity it gives. Input: the fields separated by 0xFF bytes (never part of
// UTF-8); an empty input is the empty field list.
#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "driver.h"
#include "fuzz_support.h"

namespace {

using qv::fuzz::require;

constexpr std::array<std::string_view, 25> kWhiteSpace = {
    "\t",           "\n",           "\v",           "\f",           "\r",           " ",
    "\xC2\x85",     "\xC2\xA0",     "\xE1\x9A\x80", "\xE2\x80\x80", "\xE2\x80\x81", "\xE2\x80\x82",
    "\xE2\x80\x83", "\xE2\x80\x84", "\xE2\x80\x85", "\xE2\x80\x86", "\xE2\x80\x87", "\xE2\x80\x88",
    "\xE2\x80\x89", "\xE2\x80\x8A", "\xE2\x80\xA8", "\xE2\x80\xA9", "\xE2\x80\xAF", "\xE2\x81\x9F",
    "\xE3\x80\x80"};

std::string_view trim(std::string_view text) {
  for (bool again = true; again;) {
    again = false;
    for (const auto space : kWhiteSpace) {
      if (text.starts_with(space)) text.remove_prefix(space.size()), again = true;
      if (text.ends_with(space)) text.remove_suffix(space.size()), again = true;
    }
  }
  return text;
}

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> pieces;
  for (std::size_t cut; (cut = text.find(separator)) != std::string_view::npos;) {
    pieces.push_back(text.substr(0, cut));
    text.remove_prefix(cut + 1);
  }
  pieces.push_back(text);
  return pieces;
}

std::optional<std::uint32_t> number(std::string_view piece, std::uint32_t max) {
  if (piece.empty() || piece == "+" || piece == "-") return std::nullopt;
  if (piece.front() == '+') piece.remove_prefix(1);
  std::uint32_t value = 0;
  for (const char c : piece) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint32_t>(c - '0');
    if (value > max) return std::nullopt;
  }
  return value;
}

std::optional<qv::DriverDate> reference_date(std::string_view text) {
  const auto pieces = split(trim(text), '/');
  if (pieces.size() != 3) return std::nullopt;
  const auto month = number(trim(pieces[0]), 255);
  const auto day = number(trim(pieces[1]), 255);
  auto year = number(trim(pieces[2]), 65535);
  if (!month || !day || !year || *month < 1 || *month > 12 || *day < 1 || *day > 31) {
    return std::nullopt;
  }
  if (*year < 80) {
    *year += 2000;
  } else if (*year < 100) {
    *year += 1900;
  }
  return qv::DriverDate{static_cast<std::uint16_t>(*year), static_cast<std::uint8_t>(*month),
                        static_cast<std::uint8_t>(*day)};
}

qv::DriverVersion reference_version(std::string_view text) {
  qv::DriverVersion version;
  const auto pieces = split(trim(text), '.');
  for (std::size_t i = 0; i < pieces.size() && i < 4; ++i) {
    version.parts[i] = static_cast<std::uint16_t>(number(trim(pieces[i]), 65535).value_or(0));
  }
  return version;
}

struct Number {
  std::uint32_t value = 0;
  std::string_view digits;
};

// Takes the digits at the front of `text` and then the `end` character (none
// when `end` is 0: the digits must be the whole rest).
std::optional<Number> take_number(std::string_view& text, char end) {
  std::size_t count = 0;
  while (count < text.size() && text[count] >= '0' && text[count] <= '9') ++count;
  Number n{0, text.substr(0, count)};
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + count, n.value);
  if (count == 0 || count > 5 || ec != std::errc{}) return std::nullopt;
  text.remove_prefix(count);
  if (end == 0) return text.empty() ? std::optional(n) : std::nullopt;
  if (text.empty() || text.front() != end) return std::nullopt;
  text.remove_prefix(1);
  return n;
}

// The display text read back: "yyyy-mm-dd a.b.c.d" (year padded to four digits,
// month and day to two) or "a.b.c.d", parts in decimal without leading zeros.
void check_display(const qv::DriverIdentity& identity, std::string_view text) {
  if (const auto& date = identity.date) {
    const auto year = take_number(text, '-');
    require(
        year && year->value == date->year && year->digits.size() == (date->year > 9999 ? 5u : 4u),
        "display: year");
    const auto month = take_number(text, '-');
    require(month && month->value == date->month && month->digits.size() == 2, "display: month");
    const auto day = take_number(text, ' ');
    require(day && day->value == date->day && day->digits.size() == 2, "display: day");
  }
  for (std::size_t i = 0; i < 4; ++i) {
    const auto part = take_number(text, i < 3 ? '.' : 0);
    require(part && part->value == identity.version.parts[i], "display: version part");
    require(part->digits.size() == 1 || part->digits.front() != '0',
            "display: leading zero in a version part");
  }
}

bool all_valid_utf8(const std::vector<std::string_view>& fields) {
  for (const auto field : fields) {
    if (!qv::fuzz::valid_utf8(field)) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const auto fields = size == 0 ? std::vector<std::string_view>{} : split(input, '\xFF');

  const auto identity = qv::parse_driver_identity(fields);
  if (identity) {
    require(identity->date || identity->version != qv::DriverVersion{}, "undated 0.0.0.0");
    if (const auto& date = identity->date) {
      require(date->month >= 1 && date->month <= 12, "month out of range");
      require(date->day >= 1 && date->day <= 31, "day out of range");
      require(date->year >= 100, "year below 100");
    }
    const std::string text = qv::driver_identity_text(*identity);
    check_display(*identity, text);
    std::string sink = "x";
    qv::append_driver_identity_text(sink, *identity);
    require(sink == "x" + text, "append_driver_identity_text differs");
  }

  // Texts that are not UTF-8 have no defined trimming, so the reference reading
  // only judges well-formed fields.
  if (fields.empty() || !all_valid_utf8(fields)) return 0;
  const auto date = reference_date(fields[0]);
  const auto version = fields.size() > 1 ? reference_version(fields[1]) : qv::DriverVersion{};
  require(qv::parse_driver_date(fields[0]) == date, "parse_driver_date differs from reference");
  require(qv::parse_driver_version(fields.back()) == reference_version(fields.back()),
          "parse_driver_version differs from reference");
  const bool expect_identity = date || version != qv::DriverVersion{};
  require(identity.has_value() == expect_identity, "identity presence differs from reference");
  require(!identity || *identity == qv::DriverIdentity{date, version},
          "identity differs from reference");
  return 0;
}
