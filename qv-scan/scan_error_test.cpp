#include "scan_error.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "win_api.h"

namespace qv {
namespace {

TEST(ScanError, FromLastErrorRendersCodeAndHint) {
  struct Case {
    const char* message;
    std::uint32_t code;
    std::string rendered;
  };
  const std::vector<Case> cases = {
      {"The list of devices couldn't be read.", 5,
       "The list of devices couldn't be read. Run the app as administrator.\n  Win32 error 5\n"},
      {"The device list ended unexpectedly.", 0xFFFFFFFF,
       "The device list ended unexpectedly.\n  Win32 error 4294967295\n"},
      {"The device list ended unexpectedly.", 0,
       "The device list ended unexpectedly.\n  Win32 error 0\n"},
  };
  for (const auto& c : cases) {
    SetLastError(c.code);
    const ScanError error = from_last_error(c.message);
    EXPECT_EQ(error, scan_error_from_code(c.message, c.code));
    EXPECT_EQ(render_scan_error(error), c.rendered);
  }
}

TEST(ScanError, RendersWithoutDetail) {
  ScanError error;
  error.message = "Something failed.";
  EXPECT_EQ(render_scan_error(error), "Something failed.\n");
  error.hint = "Run the app as administrator.";
  EXPECT_EQ(render_scan_error(error), "Something failed. Run the app as administrator.\n");
}

}  // namespace
}  // namespace qv
