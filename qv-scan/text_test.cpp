#include "text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qv {
namespace {

// Lenient decoding repairs an unpaired surrogate with U+FFFD; strict decoding
// refuses it, and only it. The repair within UTF-16 gives the units back as
// they come from the lenient text.
TEST(WideToText, LenientRepairsAndStrictRefusesUnpairedSurrogates) {
  struct Case {
    std::u16string units;
    std::string text;
    bool paired;
  };
  const std::vector<Case> cases = {
      {u"", "", true},
      {u"abc", "abc", true},
      {std::u16string{0xD800}, "\xEF\xBF\xBD", false},
      {std::u16string{0xD800, u'A'},
       "\xEF\xBF\xBD"
       "A",
       false},
      {std::u16string{0xDC00}, "\xEF\xBF\xBD", false},
      {std::u16string{0xDC00, 0xD800}, "\xEF\xBF\xBD\xEF\xBF\xBD", false},
      {std::u16string{0xD800, 0xD800, 0xDC00}, "\xEF\xBF\xBD\xF0\x90\x80\x80", false},
      {std::u16string{0xD83D, 0xDE00}, "\xF0\x9F\x98\x80", true},
      {std::u16string{0xDBFF, 0xDFFF}, "\xF4\x8F\xBF\xBF", true},
      {u"\u00E9\u20AC", "\xC3\xA9\xE2\x82\xAC", true},
      {std::u16string{u'a', 0, u'b'}, std::string("a\0b", 3), true},
      {std::u16string{0xFFFF}, "\xEF\xBF\xBF", true},
      {u"\uFFFD", "\xEF\xBF\xBD", true},  // a real U+FFFD is no error
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

TEST(WideUntilNul, StopsAtFirstZeroOrEnd) {
  EXPECT_EQ(wide_until_nul(std::u16string{u'a', u'b', 0, u'c'}), "ab");
  EXPECT_EQ(wide_until_nul(u"abc"), "abc");
  EXPECT_EQ(wide_until_nul(std::u16string{0, u'a'}), "");
  EXPECT_EQ(wide_until_nul(std::u16string{0xD800, 0, 0xDC00}), "\xEF\xBF\xBD");
}

TEST(SplitMultiString, EndsAtFirstEmptyPieceOrMissingTerminator) {
  struct Case {
    std::u16string units;
    std::vector<std::string> pieces;
  };
  const std::vector<Case> cases = {
      {std::u16string{u'A', 0, u'B', 0, 0}, {"A", "B"}},
      {std::u16string{u'A', 0, 0, u'B', 0, 0}, {"A"}},
      {std::u16string{0, u'A', 0}, {}},
      {std::u16string{u'A', 0, u'B'}, {"A"}},
      {std::u16string{}, {}},
      {std::u16string{u'A', u'B', 0, u'C', u'D', 0}, {"AB", "CD"}},
      {std::u16string{0xDC00, 0}, {"\xEF\xBF\xBD"}},
  };
  for (const auto& c : cases) EXPECT_EQ(split_multi_string(c.units), c.pieces);
}

// Each bad byte becomes one U+FFFD; well-formed text comes back unchanged.
TEST(ToWideNul, EncodesTerminatesAndRoundTrips) {
  struct Case {
    std::string text;
    std::u16string units;
    bool well_formed;
  };
  const std::vector<Case> cases = {
      {"", {0}, true},
      {"ab\x01", {u'a', u'b', 1, 0}, true},
      {"\xF0\x9F\x98\x80", {0xD83D, 0xDE00, 0}, true},
      {"K\u00FCche \u2026", {u'K', 0xFC, u'c', u'h', u'e', u' ', 0x2026, 0}, true},
      {"a\xFF-", {u'a', 0xFFFD, u'-', 0}, false},
      {"\xED\xA0\x80", {0xFFFD, 0xFFFD, 0xFFFD, 0}, false},
      {"\xC3", {0xFFFD, 0}, false},
  };
  for (const auto& c : cases) {
    const std::u16string wide = to_wide_nul(c.text);
    EXPECT_EQ(wide, c.units) << c.text;
    if (c.well_formed) {
      EXPECT_EQ(wide_until_nul(wide), c.text);
    }
  }
}

TEST(Utf8Validation, AcceptsOnlyWellFormedSequences) {
  struct Case {
    std::string bytes;
    bool valid;
  };
  const std::vector<Case> cases = {
      {"", true},
      {"Microsoft 6.1", true},
      {"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", true},
      {std::string("\0", 1), true},
      {"\x80", false},
      {"\xC0\xAF", false},          // overlong
      {"\xE0\x80\xAF", false},      // overlong
      {"\xED\xA0\x80", false},      // surrogate
      {"\xF4\x90\x80\x80", false},  // above U+10FFFF
      {"\xE2\x82", false},          // cut short
      {"abc\xFF", false},
  };
  for (const auto& c : cases) EXPECT_EQ(is_valid_utf8(c.bytes), c.valid) << c.bytes;
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

TEST(Utf8CharLength, StepsOverWholeSequencesAndSingleBadBytes) {
  struct Case {
    std::string text;
    std::size_t pos;
    std::size_t length;
  };
  const std::vector<Case> cases = {
      {"a", 0, 1},
      {"\xC3\xA9", 0, 2},
      {"\xE2\x80\xA6", 0, 3},
      {"\xF0\x9F\x98\x80", 0, 4},
      {"\xE2\x80\xA6", 1, 1},      // a continuation byte alone
      {"\xE2\x80", 0, 1},          // cut short at the end
      {"\xE0\x80\xAF", 0, 1},      // overlong
      {"\xED\xA0\x80", 0, 1},      // surrogate
      {"\xF4\x90\x80\x80", 0, 1},  // above U+10FFFF
      {"\xFF", 0, 1},
  };
  for (const auto& c : cases) EXPECT_EQ(utf8_char_length(c.text, c.pos), c.length) << c.text;
}

}  // namespace
}  // namespace qv
