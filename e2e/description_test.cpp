#include "description.h"

#include <gtest/gtest.h>

#include <string_view>

namespace qv::e2e {
namespace {

struct DecodeCase {
  std::string_view text;
  Bytes bytes;
};

TEST(DecodeEscaped, GivesTheExactBytes) {
  const DecodeCase cases[] = {
      {"", {}},
      {"A", {0x41, 0x00}},
      {"PCI\\VEN", {'P', 0, 'C', 0, 'I', 0, '\\', 0, 'V', 0, 'E', 0, 'N', 0}},
      {"\xC3\xA9", {0xE9, 0x00}},                                // é
      {"\xF0\x9F\x98\x80", {0x3D, 0xD8, 0x00, 0xDE}},            // U+1F600 as a pair
      {"A\\<0>", {0x41, 0x00, 0x00, 0x00}},                      // explicit terminator
      {"\\<uD800 u9 0>", {0x00, 0xD8, 0x09, 0x00, 0x00, 0x00}},  // lone surrogate, tab
      {"\\<x41 x00 x42>", {0x41, 0x00, 0x42}},                   // odd byte count
      {"\\<>", {}},
      {"a b ", {'a', 0, ' ', 0, 'b', 0, ' ', 0}},  // spaces are data
  };
  for (const DecodeCase& c : cases) {
    const auto bytes = decode_escaped(c.text);
    ASSERT_TRUE(bytes.has_value()) << c.text;
    EXPECT_EQ(*bytes, c.bytes) << c.text;
  }
}

TEST(DecodeEscaped, RejectsTypos) {
  for (const std::string_view text :
       {"\\<u12345>", "\\<x100>", "\\<y1>", "\\<0", "\xC3", "\xFF", "\xED\xA0\x80"}) {
    EXPECT_FALSE(decode_escaped(text).has_value()) << text;
  }
}

TEST(ParseDescription, ReadsKeywordsWordsAndData) {
  const auto commands = parse_description(
      "# devices\n"
      "\n"
      "device ROOT\\QVE2E\\0001\n"
      "hwid A\\<0>B\\<0 0>\n"
      "driver-key\n"
      "driver DriverDesc expand_sz %x% y\\<0>\n"
      "enum Driver 1 \n"
      "prop 12 F\n"
      "driver-key {X}\\0001\n"
      "enum-delete ClassGUID\n");
  ASSERT_TRUE(commands.has_value()) << commands.error();
  ASSERT_EQ(commands->size(), 8U);
  const auto& c = *commands;
  EXPECT_EQ(c[0].line, 3);
  EXPECT_EQ(c[0].keyword, Keyword::device);
  EXPECT_EQ(c[0].data.size(), 30U);
  EXPECT_EQ(c[1].keyword, Keyword::property);
  EXPECT_EQ(c[1].code, 1U);
  EXPECT_EQ(c[1].data.size(), 10U);
  EXPECT_EQ(c[2].keyword, Keyword::driver_key);
  EXPECT_FALSE(c[2].has_data);
  EXPECT_EQ(c[3].keyword, Keyword::driver_value);
  EXPECT_EQ(c[3].code, 2U);
  EXPECT_EQ(c[3].words[0].size(), 20U);  // "DriverDesc"
  EXPECT_EQ(c[3].data.size(), 12U);      // "%x% y" and the zero unit
  EXPECT_EQ(c[4].code, 1U);
  EXPECT_TRUE(c[4].data.empty());  // a value of zero bytes
  EXPECT_EQ(c[5].code, 12U);
  EXPECT_TRUE(c[6].has_data);
  EXPECT_EQ(c[7].keyword, Keyword::enum_delete);
}

TEST(ParseDescription, NamesTheBadLine) {
  const struct {
    std::string_view file;
    std::string_view error;
  } cases[] = {
      {"device A\nbogus\n", "line 2: unknown keyword"},
      {"driver DriverDate\n", "line 1: missing word"},
      {"driver DriverDate text x\n", "line 1: bad number or type"},
      {"class {x} extra\n", "line 1: unexpected data"},
      {"hwid \\<u>\n", "line 1: bad item in \\<...>"},
  };
  for (const auto& c : cases) {
    const auto commands = parse_description(c.file);
    ASSERT_FALSE(commands.has_value()) << c.file;
    EXPECT_EQ(commands.error(), c.error) << c.file;
  }
}

TEST(ToUnitsNul, DropsAnOddByteAndTerminates) {
  EXPECT_EQ(to_units_nul({0x41, 0x00, 0x42}), std::u16string(u"A\0", 2));
  EXPECT_EQ(to_units_nul({}), std::u16string(u"\0", 1));
}

}  // namespace
}  // namespace qv::e2e
