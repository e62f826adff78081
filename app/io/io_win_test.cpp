#include "io_win.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace qv {
namespace {

namespace fs = std::filesystem;

class FileReportWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("qv_io_test_" + std::to_string(GetCurrentProcessId()));
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  // The file's path in the test's folder, as the writer takes it and as Windows does.
  std::u16string path_of(const std::u16string& name) const {
    const std::wstring wide = (folder_ / std::wstring(name.begin(), name.end())).wstring();
    return std::u16string(wide.begin(), wide.end());
  }
  static std::wstring wide(const std::u16string& path) { return {path.begin(), path.end()}; }
  static std::string read(const std::u16string& path) {
    std::ifstream in(fs::path(wide(path)), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  fs::path folder_;
  FileReportWriter writer_;
};

TEST_F(FileReportWriterTest, WritesBytesUnchangedAndReplacesOldContent) {
  for (const std::u16string name : {u"report.txt", u"d\u00e9j\u00e0 \u4e2d.txt"}) {
    const std::u16string path = path_of(name);
    ASSERT_TRUE(writer_.write_file(path, "qvdev1\nhost=PC\n"));
    EXPECT_EQ(read(path), "qvdev1\nhost=PC\n");  // no CR added
    ASSERT_TRUE(writer_.write_file(path, ""));
    EXPECT_EQ(read(path), "");
  }
  // A device takes the bytes as they come: there is no content to cut.
  for (const std::u16string device : {u"NUL", u"\\\\.\\NUL"}) {
    const auto written = writer_.write_file(device, "qvdev1\n");
    EXPECT_TRUE(written) << written.error();
  }
}

TEST_F(FileReportWriterTest, ReplacesAHiddenSystemFileWholeAndKeepsItsAttributes) {
  constexpr DWORD kHiddenSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  const std::u16string path = path_of(u"hidden.txt");
  ASSERT_TRUE(writer_.write_file(path, "an old report, longer than the new one\n"));
  ASSERT_TRUE(SetFileAttributesW(wide(path).c_str(), kHiddenSystem));
  const auto written = writer_.write_file(path, "qvdev1\n");
  ASSERT_TRUE(written) << written.error();
  EXPECT_EQ(read(path), "qvdev1\n");
  EXPECT_EQ(GetFileAttributesW(wide(path).c_str()) & kHiddenSystem, kHiddenSystem);

  // What this test is for: Windows refuses CREATE_ALWAYS with FILE_ATTRIBUTE_NORMAL
  // on such a file. Where that is not enforced, the lines above pass either way.
  const HANDLE probe = CreateFileW(wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
  if (probe != INVALID_HANDLE_VALUE) {
    CloseHandle(probe);
    GTEST_SKIP() << "this system lets CREATE_ALWAYS replace a hidden system file (Wine does), "
                    "so the refusal the writer avoids can't be seen here";
  }
}

TEST_F(FileReportWriterTest, ReadOnlyFileIsRefusedAndLeftAsItWas) {
  const std::u16string path = path_of(u"read-only.txt");
  const std::wstring name = wide(path);
  ASSERT_TRUE(writer_.write_file(path, "old\n"));
  ASSERT_TRUE(SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_READONLY));
  const HANDLE probe = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
  if (probe != INVALID_HANDLE_VALUE) {
    CloseHandle(probe);
    SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_NORMAL);
    GTEST_SKIP() << "this system lets a read-only file be opened for writing (Wine run as root)";
  }
  const auto written = writer_.write_file(path, "new\n");
  SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_NORMAL);  // so that TearDown can remove it
  ASSERT_FALSE(written);
  EXPECT_TRUE(written.error().ends_with(" (os error 5)")) << written.error();
  EXPECT_EQ(read(path), "old\n");
}

// The message ends in its full stop, then the code; a folder cannot be replaced
// by a file, with a code that depends on the system.
TEST_F(FileReportWriterTest, FailureGivesTheSystemMessageAndCode) {
  for (const std::u16string& path : {path_of(u"missing\\x.txt"), std::u16string()}) {
    const auto written = writer_.write_file(path, "x\n");
    ASSERT_FALSE(written);
    EXPECT_TRUE(written.error().ends_with(". (os error 3)")) << written.error();  // path not found
  }
  const auto folder = writer_.write_file(path_of(u""), "x\n");
  ASSERT_FALSE(folder);
  EXPECT_NE(folder.error().find(" (os error "), std::string::npos);
}

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
