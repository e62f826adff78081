#include "handles.h"

#include <stdexcept>
#include <utility>

#include "machine_test.h"

namespace qv {
namespace {

class HandlesTest : public fake::MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    m.registry[u"A"] = {};
    m.registry[u"B"] = {};
    m.registry[u"Denied"] = {.open_status = ERROR_ACCESS_DENIED};
  }
  static DeviceInfoSet open_set() {
    return DeviceInfoSet(SetupDiGetClassDevsW(nullptr, nullptr, nullptr, 6));
  }
};

TEST_F(HandlesTest, RegistryKeyOpensOnlyWhatExistsAndIsReadable) {
  EXPECT_TRUE(RegistryKey::open_local_machine("A"));
  EXPECT_FALSE(RegistryKey::open_local_machine("Missing"));
  EXPECT_FALSE(RegistryKey::open_local_machine("Denied"));
  EXPECT_EQ(m.count_calls("RegCloseKey"), 1u);  // only the one that opened
}

TEST_F(HandlesTest, RegistryKeyClosesOnceWhicheverWayItEnds) {
  {
    auto key = RegistryKey::open_local_machine("A");
    key->close();
    key->close();
  }
  EXPECT_EQ(m.count_calls("RegCloseKey"), 1u);
  {
    auto a = RegistryKey::open_local_machine("A");
    RegistryKey moved(std::move(*a));
    auto b = RegistryKey::open_local_machine("B");
    moved = std::move(*b);  // releases A now, B at the end
    EXPECT_EQ(m.open_handles(), 1u);
  }
  EXPECT_EQ(m.count_calls("RegCloseKey"), 3u);
  try {
    const auto key = RegistryKey::open_local_machine("A");
    throw std::runtime_error("passing through");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(m.count_calls("RegCloseKey"), 4u);
}

TEST_F(HandlesTest, DeviceInfoSetDestroysOnceAndNeverAnInvalidHandle) {
  { const DeviceInfoSet invalid(INVALID_HANDLE_VALUE); }
  { const DeviceInfoSet null(nullptr); }
  EXPECT_EQ(m.count_calls("SetupDiDestroyDeviceInfoList"), 0u);
  {
    DeviceInfoSet a = open_set();
    DeviceInfoSet moved(std::move(a));
    DeviceInfoSet b = open_set();
    b = std::move(moved);
    EXPECT_EQ(m.open_handles(), 1u);
  }
  EXPECT_EQ(m.count_calls("SetupDiDestroyDeviceInfoList"), 2u);
  try {
    const DeviceInfoSet set = open_set();
    throw std::runtime_error("passing through");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(m.count_calls("SetupDiDestroyDeviceInfoList"), 3u);
}

TEST_F(HandlesTest, ReleasingKeepsAPendingLastError) {
  // The stand-in's successful destroy resets the last error, as the Setup API does.
  for (const DWORD close_result : {DWORD{0}, DWORD{ERROR_INVALID_HANDLE}}) {
    if (close_result != 0) m.fail_call("SetupDiDestroyDeviceInfoList", close_result);
    if (close_result != 0) m.fail_call("RegCloseKey", close_result);
    {
      const DeviceInfoSet set = open_set();
      const auto key = RegistryKey::open_local_machine("A");
      SetLastError(ERROR_NO_MORE_ITEMS);
    }
    EXPECT_EQ(GetLastError(), DWORD{ERROR_NO_MORE_ITEMS});
  }
}

}  // namespace
}  // namespace qv
