// Runs real children through the system's command interpreter.
#include <gtest/gtest.h>

#include <string>

#include "child_process.h"
#include "host.h"
#include "kernel_handle.h"
#include "win_api.h"

namespace qv {
namespace {

std::u16string interpreter() {
  char16_t directory[MAX_PATH + 1] = {};
  const UINT length = GetSystemDirectoryW(as_wchar(directory), MAX_PATH);
  return std::u16string(directory, length) + u"\\cmd.exe";
}

// The process's open handles; 0 where the system can't count them (Wine).
DWORD handle_count() {
  DWORD count = 0;
  return GetProcessHandleCount(GetCurrentProcess(), &count) ? count : 0;
}

TEST(CaptureOutput, KeepsStandardOutputAndDropsStandardError) {
  const auto output = capture_output(interpreter(), u"cmd /c (echo out)&(echo err 1>&2)");
  ASSERT_TRUE(output);
  EXPECT_EQ(*output, "out\r\n");
}

TEST(CaptureOutput, AbsentWhenTheProgramCannotStart) {
  EXPECT_EQ(capture_output(u"C:\\no\\such\\program.exe", u"program"), std::nullopt);
}

TEST(CaptureOutput, ReleasesEveryHandleWhetherTheProgramRanOrNot) {
  if (handle_count() == 0) {
    GTEST_SKIP() << "GetProcessHandleCount gives 0 here (Wine), so a handle left open can't "
                    "be seen";
  }
  // A first run, so that what the system opens once per process is not counted.
  [[maybe_unused]] const auto warm_up = capture_output(interpreter(), u"cmd /c echo out");
  const DWORD handles_before = handle_count();
  [[maybe_unused]] const auto ran = capture_output(interpreter(), u"cmd /c echo out");
  EXPECT_EQ(handle_count(), handles_before);
  [[maybe_unused]] const auto not_started = capture_output(u"C:\\no\\such.exe", u"such");
  EXPECT_EQ(handle_count(), handles_before);
}

TEST(CaptureOutput, DrainsAFullStandardErrorWhileReadingStandardOutput) {
  // Far more than a pipe holds: a reader of one stream only would hang here.
  const auto output =
      capture_output(interpreter(),
                     u"cmd /c (for /L %i in (1,1,1500) do @echo ----------------------------------"
                     u"------------------------------ 1>&2)&echo done");
  ASSERT_TRUE(output);
  EXPECT_EQ(*output, "done\r\n");
}

TEST(CaptureOutput, StandardInputIsTheNullDevice) {
  // With an inherited console or pipe as input this would wait for a line.
  const auto output = capture_output(interpreter(), u"cmd /c set /p line=& echo read");
  ASSERT_TRUE(output);
  EXPECT_NE(output->find("read"), std::string::npos);
}

// The traits' own part: CloseHandle is really called, and GetLastError survives it.
TEST(KernelHandle, ClosesThePipeEndAndKeepsTheLastError) {
  HANDLE read = nullptr;
  HANDLE write = nullptr;
  ASSERT_TRUE(CreatePipe(&read, &write, nullptr, 0));
  const KernelHandle reader(read);
  {
    const KernelHandle writer(write);
    SetLastError(ERROR_NO_MORE_ITEMS);
  }
  EXPECT_EQ(GetLastError(), DWORD{ERROR_NO_MORE_ITEMS});
  char byte = 0;
  DWORD got = 0;
  EXPECT_FALSE(ReadFile(reader.get(), &byte, 1, &got, nullptr));  // no writer left
  EXPECT_EQ(GetLastError(), DWORD{ERROR_BROKEN_PIPE});
}

TEST(OsVersionText, ReadsTheInterpreterVersion) {
  const std::string version = os_version_text();
  ASSERT_FALSE(version.empty());
  EXPECT_TRUE(version.front() >= '0' && version.front() <= '9') << version;
  EXPECT_GE(std::count(version.begin(), version.end(), '.'), 2) << version;
}

}  // namespace
}  // namespace qv
