#include "driver.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qv {
namespace {

using namespace std::string_view_literals;

DriverVersion version(std::uint16_t a, std::uint16_t b = 0, std::uint16_t c = 0,
                      std::uint16_t d = 0) {
  return DriverVersion{{a, b, c, d}};
}

std::string shown(std::string_view text) { return testing::PrintToString(std::string(text)); }

// Bounds of month and day, no calendar check, leading zeros and "+"; years below 80
// are 20xx and 80..99 are 19xx, whatever the number of digits.
TEST(ParseDriverDate, ReadsMonthDayYear) {
  const std::pair<std::string_view, DriverDate> cases[] = {
      {"2/31/2000", {2000, 2, 31}},  {"012/01/2000", {2000, 12, 1}},
      {"+1/+2/+2003", {2003, 1, 2}}, {"1/2/0000065535", {65535, 1, 2}},
      {"1/1/0", {2000, 1, 1}},       {"1/1/79", {2079, 1, 1}},
      {"1/1/0079", {2079, 1, 1}},    {"1/1/80", {1980, 1, 1}},
      {"12/31/99", {1999, 12, 31}},  {"1/1/100", {100, 1, 1}}};
  for (const auto& [text, date] : cases) EXPECT_EQ(parse_driver_date(text), date) << text;
}

TEST(ParseDriverDate, RefusesAnythingElse) {
  for (const auto text :
       {// Out of range, signs and other characters.
        "13/1/2000"sv, "0/1/2000"sv, "1/0/2000"sv, "1/32/2000"sv, "1/257/2000"sv, "1/2/65536"sv,
        "1/2/99999999999999999999"sv, "-1/2/2003"sv, "1/+/2003"sv, "++1/2/2003"sv, "1+/2/2003"sv,
        "1/2/2003x"sv, "0x1/2/2003"sv,
        // Not exactly three pieces.
        ""sv, "1"sv, "1/2"sv, "1/2/2003/"sv, "/1/2/2003"sv, "1//2003"sv, "6-21-2006"sv, "1/2/"sv,
        // Look-alikes of white space and digits, white space inside a number.
        "1/2/20 03"sv, "1/2/20\u00A003"sv, "1/2/2003\u200B"sv, "\u180E1/2/2003"sv,
        "\uFEFF1/2/2003"sv, "1/2/2003\xE3\x80"sv, "1/2/2003\x80\x80"sv, "1/2/2003\xC2"sv,
        "1/2/200\uFF13"sv, "\u0661/2/2003"sv, "1/2/2003\0"sv}) {
    EXPECT_EQ(parse_driver_date(text), std::nullopt) << shown(text);
  }
}

TEST(ParseDriverDate, TrimsEveryWhiteSpaceCharacterAtTheEnds) {
  // The whole Unicode White_Space set, as UTF-8.
  const std::string_view spaces[] = {
      "\t",     "\n",     "\v",     "\f",     "\r",     " ",      "\u0085", "\u00A0", "\u1680",
      "\u2000", "\u2001", "\u2002", "\u2003", "\u2004", "\u2005", "\u2006", "\u2007", "\u2008",
      "\u2009", "\u200A", "\u2028", "\u2029", "\u202F", "\u205F", "\u3000"};
  const DriverDate expected{2003, 1, 2};
  for (const auto space : spaces) {
    const std::string s(space);
    EXPECT_EQ(parse_driver_date(s + "1/2/2003" + s), expected) << shown(s);
    EXPECT_EQ(parse_driver_date(s + s + "1" + s + "/" + s + "2" + s + "/" + s + "2003" + s + s),
              expected)
        << shown(s);
  }
}

// Parts after the fourth are ignored; a part that is no number counts as 0.
TEST(ParseDriverVersion, ReadsUpToFourParts) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"10.0.19041.1", "10.0.19041.1"},
      {"7", "7.0.0.0"},
      {"1.2.3.4.x.99999", "1.2.3.4"},
      {"1.x.3", "1.0.3.0"},
      {"65536.0065535", "0.65535.0.0"},
      {"1..3", "1.0.3.0"},
      {".5", "0.5.0.0"},
      {"5.", "5.0.0.0"},
      {"", "0.0.0.0"},
      {"+7.1", "7.1.0.0"},
      {"-7.1", "0.1.0.0"},
      {" 1 . 2 . 3 . 4 ", "1.2.3.4"},
      {"1.2 3.4", "1.0.4.0"},
      {"1,2.3", "0.3.0.0"},
      {"\u00A01\u0085.2\u3000", "1.2.0.0"}};
  for (const auto& [text, parts] : cases) {
    EXPECT_EQ(driver_identity_text({std::nullopt, parse_driver_version(text)}), parts)
        << shown(text);
  }
}

TEST(ParseDriverIdentity, AbsentOnlyWithoutDateAndVersion) {
  const DriverDate date2000{2000, 1, 1};
  const std::pair<std::vector<std::string_view>, std::optional<DriverIdentity>> cases[] = {
      {{"6/21/2006", "10.0.19041.1"},
       DriverIdentity{DriverDate{2006, 6, 21}, version(10, 0, 19041, 1)}},
      {{}, std::nullopt},
      {{"", ""}, std::nullopt},
      {{"6-21-2006", "0.x.-1.70000"}, std::nullopt},
      {{"", "0.0.0.1"}, DriverIdentity{std::nullopt, version(0, 0, 0, 1)}},
      {{"1/1/2000", ""}, DriverIdentity{date2000, version(0)}},
      {{"1/1/2000"}, DriverIdentity{date2000, version(0)}},
      {{"bad"}, std::nullopt},
      {{"1/1/2000", "1.2", "3.4"}, DriverIdentity{date2000, version(1, 2)}},
  };
  for (const auto& [fields, expected] : cases) {
    EXPECT_EQ(parse_driver_identity(fields), expected) << testing::PrintToString(fields);
  }
}

// Year to four digits, month and day to two, never cut; appended to the sink's text.
TEST(DriverIdentityText, PadsDateOnlyToMinimumWidth) {
  const std::pair<DriverIdentity, std::string_view> cases[] = {
      {{DriverDate{2006, 6, 21}, version(10, 0, 19041, 1)}, "2006-06-21 10.0.19041.1"},
      {{DriverDate{2003, 1, 2}, version(0)}, "2003-01-02 0.0.0.0"},
      {{std::nullopt, version(6, 1, 7600, 16385)}, "6.1.7600.16385"},
      {{DriverDate{100, 12, 31}, version(1)}, "0100-12-31 1.0.0.0"},
      {{DriverDate{10000, 1, 1}, version(10000)}, "10000-01-01 10000.0.0.0"},
      {{DriverDate{0, 255, 255}, version(0)}, "0000-255-255 0.0.0.0"},
      {{DriverDate{65535, 255, 255}, version(65535, 65535, 65535, 65535)},
       "65535-255-255 65535.65535.65535.65535"},  // the longest of all
  };
  for (const auto& [identity, text] : cases) {
    EXPECT_EQ(driver_identity_text(identity), text);
    EXPECT_LE(text.size(), kDriverIdentityTextMax) << text;
    std::string sink = "driver_ver=";
    append_driver_identity_text(sink, identity);
    EXPECT_EQ(sink, "driver_ver=" + std::string(text));
  }
}

}  // namespace
}  // namespace qv
