// The owner itself is tested in unique_handle_test.cpp; these check what each
// traits type adds: the close call, which values count as invalid, and the last
// error it keeps.
#include "handles.h"

#include "machine_test.h"

namespace qv {
namespace {

class HandlesTest : public fake::MachineTest {
 protected:
  static HDEVINFO open_set() { return SetupDiGetClassDevsW(nullptr, nullptr, nullptr, 6); }
};

TEST_F(HandlesTest, RegistryKeyOpensOnlyWhatExistsAndIsReadableAndClosesIt) {
  m.registry[u"A"] = {};
  m.registry[u"Denied"] = {.open_status = ERROR_ACCESS_DENIED};
  {
    const auto key = open_local_machine_key("A");
    ASSERT_TRUE(key);
    EXPECT_TRUE(key->valid());
    EXPECT_FALSE(open_local_machine_key("Missing"));
    EXPECT_FALSE(open_local_machine_key("Denied"));
    EXPECT_EQ(m.open_handles(), 1u);
  }
  EXPECT_EQ(m.count_calls("RegCloseKey"), 1u);  // only the one that opened
}

TEST_F(HandlesTest, DeviceInfoSetDestroysOnlyARealSet) {
  { const DeviceInfoSet invalid(INVALID_HANDLE_VALUE), null(nullptr), empty; }
  EXPECT_EQ(m.count_calls("SetupDiDestroyDeviceInfoList"), 0u);
  { const DeviceInfoSet set(open_set()); }
  EXPECT_EQ(m.count_calls("SetupDiDestroyDeviceInfoList"), 1u);
}

TEST_F(HandlesTest, ClosingKeepsAPendingLastError) {
  // The stand-in's successful destroy resets the last error, as the Setup API does.
  m.registry[u"A"] = {};
  for (const DWORD close_result : {DWORD{0}, DWORD{ERROR_INVALID_HANDLE}}) {
    if (close_result != 0) m.fail_call("SetupDiDestroyDeviceInfoList", close_result);
    if (close_result != 0) m.fail_call("RegCloseKey", close_result);
    {
      const DeviceInfoSet set(open_set());
      const auto key = open_local_machine_key("A");
      SetLastError(ERROR_NO_MORE_ITEMS);
    }
    EXPECT_EQ(GetLastError(), DWORD{ERROR_NO_MORE_ITEMS});
  }
}

}  // namespace
}  // namespace qv
