#include "text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qv {
namespace {

using namespace std::string_literals;

// Lenient decoding repairs an unpaired surrogate with U+FFFD; strict decoding
// refuses it, and only it. The repair within UTF-16 gives the units back as
// they come from the lenient text.
TEST(WideToText, LenientRepairsAndStrictRefusesUnpairedSurrogates) {
  const struct {
    std::u16string units;
    std::string text;
    bool paired;
  } cases[] = {
      {u"", "", true},
      {u"abc", "abc", true},
      {{0xDC00, 0xD800}, "\uFFFD\uFFFD", false},
      {{0xD800, 0xD800, 0xDC00}, "\uFFFD\U00010000", false},
      {{0xDBFF, 0xDFFF}, "\U0010FFFF", true},
      {{u'a', 0, u'b'}, "a\0b"s, true},
      {u"\uFFFD", "\uFFFD", true},  // a real U+FFFD is no error
  };
  for (const auto& c : cases) {
    EXPECT_EQ(wide_to_text(c.units), c.text) << c.text;
    EXPECT_EQ(utf16_to_utf8_strict(c.units), c.paired ? std::optional(c.text) : std::nullopt)
        << c.text;
    std::u16string repaired = u"x";  // appended to, not replaced
    append_wide_repaired(repaired, c.units);
    repaired += u'\0';
    EXPECT_EQ(repaired.substr(1), to_wide_nul(c.text)) << c.text;
  }
}

// Each side of every UTF-8 length boundary, alone, twice, and after ASCII or a
// character of another length: what the measuring pass counts, the writing
// pass fills, in both directions.
TEST(WideToText, EveryLengthBoundaryBothWays) {
  const std::pair<std::u16string, std::string> boundaries[] = {
      {u"\u007F", "\x7F"},           {u"\u0080", "\xC2\x80"},
      {u"\u07FF", "\xDF\xBF"},       {u"\u0800", "\xE0\xA0\x80"},
      {u"\uFFFF", "\xEF\xBF\xBF"},   {u"\U00010000", "\xF0\x90\x80\x80"},
  };
  const std::pair<std::u16string, std::string> before[] = {
      {u"", ""}, {u"ab", "ab"}, {u"\u00E9", "\xC3\xA9"}, {u"\u20AC", "\xE2\x82\xAC"},
      {u"\U0010FFFF", "\xF4\x8F\xBF\xBF"}};
  for (const auto& [first_units, first_text] : before) {
    for (const auto& [units, text] : boundaries) {
      for (const int times : {1, 2}) {
        std::u16string all_units = first_units;
        std::string all_text = first_text;
        for (int i = 0; i < times; ++i) all_units += units, all_text += text;
        SCOPED_TRACE(testing::PrintToString(all_text));
        EXPECT_EQ(wide_to_text(all_units), all_text);
        EXPECT_EQ(utf16_to_utf8_strict(all_units), all_text);
        EXPECT_EQ(to_wide_nul(all_text), all_units + u'\0');
      }
    }
  }
}

TEST(WideUntilNul, StopsAtFirstZeroOrEnd) {
  EXPECT_EQ(wide_until_nul(std::u16string{u'a', u'b', 0, u'c'}), "ab");
  EXPECT_EQ(wide_until_nul(u"abc"), "abc");
  EXPECT_EQ(wide_until_nul(std::u16string{0, u'a'}), "");
  EXPECT_EQ(wide_until_nul(std::u16string{0xD800, 0, 0xDC00}), "\uFFFD");
}

TEST(SplitMultiString, EndsAtFirstEmptyPieceOrMissingTerminator) {
  const std::pair<std::u16string, std::vector<std::string>> cases[] = {
      {{u'A', 0, 0, u'B', 0, 0}, {"A"}},
      {{0, u'A', 0}, {}},
      {{u'A', 0, u'B'}, {"A"}},
      {{}, {}},
      {{u'A', u'B', 0, u'C', u'D', 0}, {"AB", "CD"}},
      {{0xDC00, 0}, {"\uFFFD"}}};
  for (const auto& [units, pieces] : cases) EXPECT_EQ(split_multi_string(units), pieces);
}

// Each bad byte becomes one U+FFFD and the text ends with a zero unit; the
// well-formed text is EveryLengthBoundaryBothWays' part.
TEST(ToWideNul, EachBadByteBecomesOneReplacementUnit) {
  const std::pair<std::string, std::u16string> cases[] = {
      {"", {0}},
      {"a\xFF-", {u'a', 0xFFFD, u'-', 0}},
      {"\xED\xA0\x80", {0xFFFD, 0xFFFD, 0xFFFD, 0}},
      {"\xC3", {0xFFFD, 0}},
  };
  for (const auto& [text, units] : cases) EXPECT_EQ(to_wide_nul(text), units) << text;
}

// Overlong forms, surrogates and values above U+10FFFF are ill-formed; stepping
// takes a well-formed sequence whole and any other byte alone.
TEST(Utf8Validation, AcceptsOnlyWellFormedSequencesAndStepsOverThem) {
  EXPECT_TRUE(is_valid_utf8(""));
  const struct {
    std::string bytes;
    bool valid;
    std::size_t first_length;
  } cases[] = {
      {"\0"s, true, 1},
      {"\xC3\xA9", true, 2},
      {"\xE2\x80\xA6", true, 3},
      {"\xF0\x9F\x98\x80", true, 4},
      {"\x80", false, 1},
      {"\xC0\xAF", false, 1},
      {"\xE0\x80\xAF", false, 1},
      {"\xED\xA0\x80", false, 1},
      {"\xF4\x90\x80\x80", false, 1},
      {"\xE2\x82", false, 1},
      {"\xFF", false, 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(is_valid_utf8(c.bytes), c.valid) << testing::PrintToString(c.bytes);
    EXPECT_EQ(is_valid_utf8("abc" + c.bytes), c.valid) << testing::PrintToString(c.bytes);
    EXPECT_EQ(utf8_char_length(c.bytes, 0), c.first_length) << testing::PrintToString(c.bytes);
  }
}

TEST(SplitWhiteSpace, CutsAtEveryUnicodeWhiteSpaceCharacter) {
  using Words = std::vector<std::string_view>;
  EXPECT_EQ(split_white_space(""), Words{});
  EXPECT_EQ(split_white_space(" \t\r\n"), Words{});
  EXPECT_EQ(split_white_space("a  b\r\nc\vd\fe"), (Words{"a", "b", "c", "d", "e"}));
  EXPECT_EQ(split_white_space("a\u0085b\u00A0c\u1680d\u2000e\u200Af"),
            (Words{"a", "b", "c", "d", "e", "f"}));
  EXPECT_EQ(split_white_space("a\u2028b\u2029c\u202Fd\u205Fe\u3000"),
            (Words{"a", "b", "c", "d", "e"}));
  // Neither the zero-width space nor U+180E is White_Space; a bad byte stays in its word.
  EXPECT_EQ(split_white_space("a\u200Bb \u180E"), (Words{"a\u200Bb", "\u180E"}));
  EXPECT_EQ(split_white_space("x\xFF y"), (Words{"x\xFF", "y"}));
}

}  // namespace
}  // namespace qv
