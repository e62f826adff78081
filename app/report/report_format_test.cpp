#include "report_format.h"

#include <gtest/gtest.h>

#include <string>

using namespace std::string_literals;

namespace qv {
namespace {

// The Unicode standard's table of well-formed UTF-8 byte sequences, at the ends
// of each row's ranges, and the sequences just outside them.
TEST(WellFormedLength, TheStandardsTableOfSequences) {
  const std::pair<std::string, std::size_t> cases[] = {
      {"\x00"s, 1}, {"\x7f", 1},                                          // 00..7F
      {"\xc2\x80", 2}, {"\xdf\xbf", 2},                                   // C2..DF 80..BF
      {"\xe0\xa0\x80", 3}, {"\xe0\xbf\xbf", 3},                           // E0 A0..BF 80..BF
      {"\xe1\x80\x80", 3}, {"\xec\xbf\xbf", 3},                           // E1..EC 80..BF 80..BF
      {"\xed\x80\x80", 3}, {"\xed\x9f\xbf", 3},                           // ED 80..9F 80..BF
      {"\xee\x80\x80", 3}, {"\xef\xbf\xbf", 3},                           // EE..EF 80..BF 80..BF
      {"\xf0\x90\x80\x80", 4}, {"\xf0\xbf\xbf\xbf", 4},                   // F0 90..BF 80..BF 80..BF
      {"\xf1\x80\x80\x80", 4}, {"\xf3\xbf\xbf\xbf", 4},                   // F1..F3 80..BF x3
      {"\xf4\x80\x80\x80", 4}, {"\xf4\x8f\xbf\xbf", 4},                   // F4 80..8F 80..BF 80..BF
      {"\x80", 0}, {"\xbf", 0}, {"\xc0\x8a", 0}, {"\xc1\xbf", 0},         // continuation, overlong
      {"\xc2\x7f", 0}, {"\xc2\xc0", 0}, {"\xc2", 0},                      // bad or missing second
      {"\xe0\x9f\xbf", 0}, {"\xed\xa0\x80", 0}, {"\xe1\x80", 0},          // overlong, surrogate, short
      {"\xf0\x8f\xbf\xbf", 0}, {"\xf4\x90\x80\x80", 0}, {"\xf5\x80\x80\x80", 0},
      {"\xf1\x80\x80\x7f", 0}, {"\xff", 0}, {"\xfe", 0},
  };
  for (const auto& [bytes, length] : cases) {
    EXPECT_EQ(well_formed_length(bytes, 0), length) << testing::PrintToString(bytes);
    EXPECT_EQ(well_formed_length("x" + bytes, 1), length) << testing::PrintToString(bytes);
  }
}

TEST(OneLineText, ControlCharactersAsSpacesAndOtherBytesAsReplacementCharacters) {
  const std::pair<std::string, std::string> cases[] = {
      {"report.txt", "report.txt"},
      {"a\nb\r\tc\x7f", "a b  c "},
      {"\xc2\x85\xc2\x9f\xc2\xa0", "  \xc2\xa0"},
      {"caf\xc3\xa9 \xf0\x9f\x98\x80", "caf\xc3\xa9 \xf0\x9f\x98\x80"},
      {"\xff\xc0\x8a!", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd!"},
      {"", ""},
  };
  for (const auto& [text, line] : cases) EXPECT_EQ(one_line_text(text), line);
}

}  // namespace
}  // namespace qv
