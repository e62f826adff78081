#include "readers.h"

#include <optional>
#include <string>
#include <vector>

#include "handles.h"
#include "machine_test.h"

namespace qv {
namespace {

using fake::raw;
using fake::sz;

class ReadersTest : public fake::MachineTest {
 protected:
  // Shared by every read of a test, as a scan shares it; a longer value read
  // first must not show through in a shorter one read after it.
  std::u16string scratch = u"left over from an earlier read";
};

TEST_F(ReadersTest, RegistryStringDecodesWhateverBytesTheValueHolds) {
  struct Case {
    const char* name;
    std::optional<std::string> bytes;  // absent: no such value
    std::optional<std::string> text;
  };
  const std::vector<Case> cases = {
      {"missing", std::nullopt, std::nullopt},
      {"zero bytes", "", std::nullopt},
      {"only the zero unit", sz(u""), std::nullopt},
      {"plain", sz(u"Intel"), "Intel"},
      {"no terminating zero", raw(u"Intel"), "Intel"},
      {"multi-string gives its first", fake::multi_sz({u"A", u"B"}), "A"},
      {"expand string left unexpanded", sz(u"%SystemRoot%\\inf"), "%SystemRoot%\\inf"},
      {"odd byte count keeps the last byte", raw(u"AB") + "C", "ABC"},
      {"single byte", "x", "x"},
      {"leading zero unit", raw(std::u16string{0, u'A', 0}), std::nullopt},
      {"unpaired surrogate", sz(std::u16string{u'a', 0xD800}), "a\xEF\xBF\xBD"},
      {"non-ASCII", sz(u"K\u00FCche"),
       "K\xC3\xBC"
       "che"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    m = fake::Machine{};
    m.registry[u"K"] = {};
    if (c.bytes) m.registry[u"K"].values[u"V"] = *c.bytes;
    const auto key = open_local_machine_key("K");
    ASSERT_TRUE(key);
    EXPECT_EQ(read_registry_string(key->get(), u"V", scratch), c.text);
  }
}

TEST_F(ReadersTest, RegistryStringProbesOnceThenReadsOnceWithTheProbedSize) {
  m.registry[u"K"].values[u"V"] = sz(u"abc");
  const auto key = open_local_machine_key("K");
  ASSERT_EQ(read_registry_string(key->get(), u"V", scratch), "abc");
  const auto queries = calls_named("RegQueryValueExW");
  ASSERT_EQ(queries.size(), 2u);
  EXPECT_EQ(queries[0].value, u"V");
  EXPECT_FALSE(queries[0].buffer);
  EXPECT_EQ(queries[0].size, 0u);
  EXPECT_TRUE(queries[1].buffer);
  EXPECT_EQ(queries[1].size, 8u);
}

TEST_F(ReadersTest, RegistryStringFailingCallReadsAsAbsentWithoutRetry) {
  m.registry[u"K"].values[u"V"] = sz(u"abc");
  struct Case {
    std::size_t failing_query;
    DWORD code;
    std::size_t queries;
  };
  for (const Case c : {Case{1, ERROR_ACCESS_DENIED, 1}, Case{2, ERROR_MORE_DATA, 2},
                       Case{2, ERROR_FILE_NOT_FOUND, 2}}) {
    m.calls.clear();
    m.faults.clear();
    m.fail_call("RegQueryValueExW", c.code, c.failing_query);
    const auto key = open_local_machine_key("K");
    EXPECT_EQ(read_registry_string(key->get(), u"V", scratch), std::nullopt);
    EXPECT_EQ(m.count_calls("RegQueryValueExW"), c.queries);
  }
}

TEST_F(ReadersTest, DevicePropertyAppendsOneUnitFromTheSpareBytes) {
  struct Case {
    const char* name;
    std::optional<std::string> bytes;
    std::optional<std::u16string> units;
  };
  const std::vector<Case> cases = {
      {"missing", std::nullopt, std::nullopt},
      {"size zero", "", std::nullopt},
      {"text", sz(u"AB"), std::u16string{u'A', u'B', 0, 0}},
      {"no terminating zero", raw(u"AB"), std::u16string{u'A', u'B', 0}},
      {"odd byte count", raw(u"A") + "B", std::u16string{u'A', u'B'}},
      {"one byte", "B", std::u16string{u'B'}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    m = fake::Machine{};
    m.devices.push_back({.instance_id = u"X"});
    if (c.bytes) m.devices[0].properties[SPDRP_DEVICEDESC] = *c.bytes;
    const DeviceInfoSet set(
        SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES));
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    ASSERT_TRUE(SetupDiEnumDeviceInfo(set.get(), 0, &device));
    EXPECT_EQ(read_device_property(set.get(), device, SPDRP_DEVICEDESC, scratch), c.units);
  }
}

TEST_F(ReadersTest, DevicePropertyProbesThenReadsOnce) {
  m.devices.push_back({.instance_id = u"X", .properties = {{SPDRP_DRIVER, sz(u"abc")}}});
  const DeviceInfoSet set(SetupDiGetClassDevsW(nullptr, nullptr, nullptr, 6));
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  ASSERT_TRUE(SetupDiEnumDeviceInfo(set.get(), 0, &device));

  ASSERT_TRUE(read_device_property(set.get(), device, SPDRP_DRIVER, scratch));
  auto reads = calls_named("SetupDiGetDeviceRegistryPropertyW");
  ASSERT_EQ(reads.size(), 2u);
  EXPECT_FALSE(reads[0].buffer);
  EXPECT_EQ(reads[0].size, 0u);
  EXPECT_EQ(reads[1].size, 8u);
  EXPECT_EQ(reads[1].property, DWORD{SPDRP_DRIVER});

  m.fail_call("SetupDiGetDeviceRegistryPropertyW", ERROR_GEN_FAILURE, 4);
  EXPECT_EQ(read_device_property(set.get(), device, SPDRP_DRIVER, scratch), std::nullopt);
  EXPECT_EQ(m.count_calls("SetupDiGetDeviceRegistryPropertyW"), 4u);
}

}  // namespace
}  // namespace qv
