#include "io_win.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace qv {
namespace {

// What the report file writer does with each kind of path (files, hidden and
// system files, folders, devices, pipes) is the table of e2e/test_report_paths.sh,
// which runs the real qv.exe.

TEST(OneLineMessage, LineBreakRunsBecomeOneSpaceAndTheEndIsTrimmed) {
  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"First line.\r\nSecond line.\r\n", u"First line. Second line."},
      {u"a\r\n\r\nb\n\rc\rd\ne", u"a b c d e"},
      {u"kept \r\n\tspace", u"kept  \tspace"},
      {u"\r\nlead", u" lead"},
      {u"end \t\r\n \r\n", u"end"},
      {u"\r\n", u""},
      {u"", u""},
  };
  for (const auto& [message, line] : cases) EXPECT_EQ(one_line_message(message), line);
}

TEST(ReaderHasLeft, ThePipeCodesOfWindowsAndWine) {
  for (const std::uint32_t code : {109u, 232u, 233u}) EXPECT_TRUE(reader_has_left(code)) << code;
  for (const std::uint32_t code : {0u, 6u, 112u}) EXPECT_FALSE(reader_has_left(code)) << code;
}

TEST(SystemErrorText, KnownAndUnknownCodes) {
  const std::string denied = system_error_text(5);
  EXPECT_TRUE(denied.ends_with(". (os error 5)")) << denied;
  EXPECT_EQ(denied.find('\r'), std::string::npos);
  EXPECT_EQ(system_error_text(0xE000FFFFu), "Unknown error. (os error 3758161919)");
}

}  // namespace
}  // namespace qv
