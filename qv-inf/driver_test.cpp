#include "driver.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qv {
namespace {

using namespace std::string_view_literals;

std::string describe(const std::optional<DriverIdentity>& identity) {
  return identity ? driver_identity_text(*identity) : "(none)";
}

DriverVersion version(std::uint16_t a, std::uint16_t b = 0, std::uint16_t c = 0,
                      std::uint16_t d = 0) {
  return DriverVersion{{a, b, c, d}};
}

struct DateCase {
  std::string_view text;
  std::optional<DriverDate> expected;
};

TEST(ParseDriverDate, ReadsMonthDayYear) {
  const DateCase cases[] = {
      {"6/21/2006", DriverDate{2006, 6, 21}},
      {"2/31/2000", DriverDate{2000, 2, 31}},  // no calendar check
      {"1/31/2000", DriverDate{2000, 1, 31}},
      {"12/1/2000", DriverDate{2000, 12, 1}},
      {"012/01/2000", DriverDate{2000, 12, 1}},
      {"+1/+2/+2003", DriverDate{2003, 1, 2}},
      {"1/2/0000065535", DriverDate{65535, 1, 2}},
      {"13/1/2000", std::nullopt},
      {"0/1/2000", std::nullopt},
      {"1/0/2000", std::nullopt},
      {"1/32/2000", std::nullopt},
      {"256/1/2000", std::nullopt},
      {"1/256/2000", std::nullopt},
      {"1/2/65536", std::nullopt},
      {"1/2/99999999999999999999", std::nullopt},
      {"-1/2/2003", std::nullopt},
      {"1/-/2003", std::nullopt},
      {"1/+/2003", std::nullopt},
      {"++1/2/2003", std::nullopt},
      {"1+/2/2003", std::nullopt},
      {"1/2/2003x", std::nullopt},
      {"0x1/2/2003", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(parse_driver_date(c.text), c.expected);
  }
}

TEST(ParseDriverDate, TwoDigitYearRuleLooksAtTheValue) {
  const std::pair<std::string_view, std::uint16_t> cases[] = {
      {"1/2/03", 2003},   {"1/1/0", 2000},   {"1/1/00", 2000},     {"1/1/79", 2079},
      {"1/1/0079", 2079}, {"1/1/80", 1980},  {"12/31/99", 1999},   {"1/1/099", 1999},
      {"1/1/100", 100},   {"1/1/0100", 100}, {"1/2/65535", 65535}, {"1/1/2006", 2006},
  };
  for (const auto& [text, year] : cases) {
    SCOPED_TRACE(text);
    const auto date = parse_driver_date(text);
    ASSERT_TRUE(date.has_value());
    EXPECT_EQ(date->year, year);
  }
}

TEST(ParseDriverDate, NeedsExactlyThreePieces) {
  for (const auto text : {""sv, "1"sv, "1/2"sv, "1/2/2003/"sv, "1/2/2003/4"sv, "/1/2/2003"sv,
                          "1//2003"sv, "//"sv, "6-21-2006"sv, "1/2/"sv}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(parse_driver_date(text), std::nullopt);
  }
}

TEST(ParseDriverDate, TrimsEveryWhiteSpaceCharacterAtTheEnds) {
  // The whole Unicode White_Space set, as UTF-8.
  const std::string_view spaces[] = {
      "\t",           "\n",           "\v",
      "\f",           "\r",           " ",
      "\xC2\x85",     "\xC2\xA0",     "\xE1\x9A\x80",
      "\xE2\x80\x80", "\xE2\x80\x81", "\xE2\x80\x82",
      "\xE2\x80\x83", "\xE2\x80\x84", "\xE2\x80\x85",
      "\xE2\x80\x86", "\xE2\x80\x87", "\xE2\x80\x88",
      "\xE2\x80\x89", "\xE2\x80\x8A", "\xE2\x80\xA8",
      "\xE2\x80\xA9", "\xE2\x80\xAF", "\xE2\x81\x9F",
      "\xE3\x80\x80",
  };
  const DriverDate expected{2003, 1, 2};
  for (const auto space : spaces) {
    const std::string s(space);
    SCOPED_TRACE(testing::PrintToString(s));
    EXPECT_EQ(parse_driver_date(s + "1/2/2003" + s), expected);
    EXPECT_EQ(parse_driver_date(s + s + "1" + s + "/" + s + "2" + s + "/" + s + "2003" + s + s),
              expected);
  }
}

TEST(ParseDriverDate, KeepsWhatIsNotWhiteSpace) {
  for (const auto text : {
           "1/2/20 03"sv,
           "1/2/20\xC2\xA0"
           "03"sv,
           "1/2/2003\xE2\x80\x8B"sv,  // U+200B zero width space
           "\xE1\xA0\x8E"
           "1/2/2003"sv,  // U+180E Mongolian vowel separator
           "\xEF\xBB\xBF"
           "1/2/2003"sv,             // U+FEFF byte order mark
           "1/2/2003\xE3\x80"sv,     // U+3000 cut short
           "1/2/2003\x80\x80"sv,     // stray continuation bytes
           "1/2/2003\xC2"sv,         // lone lead byte
           "1/2/200\xEF\xBC\x93"sv,  // fullwidth digit three
           "\xD9\xA1/2/2003"sv,      // Arabic-Indic digit one
           "1/2/2003\0"sv,           // embedded NUL
       }) {
    SCOPED_TRACE(testing::PrintToString(std::string(text)));
    EXPECT_EQ(parse_driver_date(text), std::nullopt);
  }
}

struct VersionCase {
  std::string_view text;
  DriverVersion expected;
};

TEST(ParseDriverVersion, ReadsUpToFourParts) {
  const VersionCase cases[] = {
      {"10.0.19041.1", version(10, 0, 19041, 1)},
      {"1.2", version(1, 2)},
      {"7", version(7)},
      {"1.2.3.4.5", version(1, 2, 3, 4)},
      {"1.2.3.4.x.99999", version(1, 2, 3, 4)},
      {"1.2.3.4.", version(1, 2, 3, 4)},
      {"1.x.3", version(1, 0, 3)},
      {"70000.1", version(0, 1)},
      {"65536.0065535", version(0, 65535)},
      {"65535.65535.65535.65535", version(65535, 65535, 65535, 65535)},
      {"1..3", version(1, 0, 3)},
      {".5", version(0, 5)},
      {"5.", version(5)},
      {"", version(0)},
      {"...", version(0)},
      {"+7.1", version(7, 1)},
      {"-7.1", version(0, 1)},
      {"+.1", version(0, 1)},
      {"++7.1", version(0, 1)},
      {"7+.1", version(0, 1)},
      {" 1 . 2 . 3 . 4 ", version(1, 2, 3, 4)},
      {"\t1.2\xE2\x80\xAF", version(1, 2)},
      {"\xE3\x80\x80 6.\xC2\xA0"
       "1\xC2\x85.7600.16385\r\n",
       version(6, 1, 7600, 16385)},
      {"1.2 3.4", version(1, 0, 4)},
      {"\xD9\xA1.2", version(0, 2)},
      {"1,2.3", version(0, 3)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.text)));
    EXPECT_EQ(parse_driver_version(c.text), c.expected);
  }
}

struct IdentityCase {
  std::vector<std::string_view> fields;
  std::optional<DriverIdentity> expected;
};

TEST(ParseDriverIdentity, AbsentOnlyWithoutDateAndVersion) {
  const DriverDate date2000{2000, 1, 1};
  const IdentityCase cases[] = {
      {{"6/21/2006", "10.0.19041.1"},
       DriverIdentity{DriverDate{2006, 6, 21}, version(10, 0, 19041, 1)}},
      {{}, std::nullopt},
      {{"", ""}, std::nullopt},
      {{"", "0.0.0.1"}, DriverIdentity{std::nullopt, version(0, 0, 0, 1)}},
      {{"1/1/2000", ""}, DriverIdentity{date2000, version(0)}},
      {{"13/1/2000", "0.0.0.0"}, std::nullopt},
      {{"6-21-2006", "0.x.-1.70000"}, std::nullopt},
      {{"1/1/2000"}, DriverIdentity{date2000, version(0)}},
      {{"bad"}, std::nullopt},
      {{"", "", "1/1/2000"}, std::nullopt},
      {{"1/1/2000", "1.2", "3.4"}, DriverIdentity{date2000, version(1, 2)}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.fields));
    const auto identity = parse_driver_identity(c.fields);
    EXPECT_EQ(identity, c.expected) << describe(identity);
  }
}

struct TextCase {
  DriverIdentity identity;
  std::string_view text;
};

TEST(DriverIdentityText, PadsDateOnlyToMinimumWidth) {
  const TextCase cases[] = {
      {{DriverDate{2006, 6, 21}, version(10, 0, 19041, 1)}, "2006-06-21 10.0.19041.1"},
      {{DriverDate{2003, 1, 2}, version(0)}, "2003-01-02 0.0.0.0"},
      {{std::nullopt, version(6, 1, 7600, 16385)}, "6.1.7600.16385"},
      {{std::nullopt, version(0, 0, 0, 1)}, "0.0.0.1"},
      {{DriverDate{100, 12, 31}, version(1)}, "0100-12-31 1.0.0.0"},
      {{DriverDate{999, 10, 10}, version(0)}, "0999-10-10 0.0.0.0"},
      {{DriverDate{9999, 12, 31}, version(9, 99, 999, 9999)}, "9999-12-31 9.99.999.9999"},
      {{DriverDate{10000, 1, 1}, version(10000)}, "10000-01-01 10000.0.0.0"},
      {{DriverDate{65535, 1, 1}, version(65535, 65535, 65535, 65535)},
       "65535-01-01 65535.65535.65535.65535"},
      {{DriverDate{0, 255, 255}, version(0)}, "0000-255-255 0.0.0.0"},
      {{DriverDate{65535, 255, 255}, version(65535, 65535, 65535, 65535)},
       "65535-255-255 65535.65535.65535.65535"},  // the longest of all
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(driver_identity_text(c.identity), c.text);
    EXPECT_LE(c.text.size(), kDriverIdentityTextMax);
  }
}

TEST(DriverIdentityText, AppendsToWhatTheSinkHolds) {
  std::string sink = "driver_ver=";
  append_driver_identity_text(sink, {DriverDate{2006, 6, 21}, version(10, 0, 19041, 1)});
  append_driver_identity_text(sink, {std::nullopt, version(1, 2, 3, 4)});
  EXPECT_EQ(sink, "driver_ver=2006-06-21 10.0.19041.11.2.3.4");
}

TEST(DriverIdentityText, RendersWhatWasParsed) {
  const std::pair<std::vector<std::string_view>, std::string_view> cases[] = {
      {{"1/2/03", "0.0.0.0"}, "2003-01-02 0.0.0.0"},
      {{" 12/31/99 ", "+6.01.007600.16385.9"}, "1999-12-31 6.1.7600.16385"},
      {{"1/1/100", "1"}, "0100-01-01 1.0.0.0"},
      {{"", "0.0.0.1"}, "0.0.0.1"},
  };
  for (const auto& [fields, text] : cases) {
    SCOPED_TRACE(text);
    const auto identity = parse_driver_identity(fields);
    ASSERT_TRUE(identity.has_value());
    EXPECT_EQ(driver_identity_text(*identity), text);
  }
}

}  // namespace
}  // namespace qv
