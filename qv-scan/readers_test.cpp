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
  Reader reader;

  std::optional<std::string> read_value() {
    const auto key = open_local_machine_key("K");
    return key ? reader.read_registry_string(key->get(), u"V") : "(no key)";
  }
  // The property of the machine's first device.
  std::optional<std::u16string> read_property(DWORD property) {
    const DeviceInfoSet set(SetupDiGetClassDevsW(nullptr, nullptr, nullptr, 6));
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    if (!SetupDiEnumDeviceInfo(set.get(), 0, &device)) return u"(no device)";
    const auto units = reader.read_device_property(set.get(), device, property);
    if (!units) return std::nullopt;
    return std::u16string(*units);
  }
};

TEST_F(ReadersTest, RegistryStringDecodesWhateverBytesTheValueHolds) {
  const struct {
    const char* name;
    std::optional<std::string> bytes;  // absent: no such value
    std::optional<std::string> text;
  } cases[] = {
      {"missing", std::nullopt, std::nullopt},
      {"zero bytes", "", std::nullopt},
      {"only the zero unit", sz(u""), std::nullopt},
      {"leading zero unit", raw(std::u16string{0, u'A', 0}), std::nullopt},
      {"no terminating zero", raw(u"Intel"), "Intel"},
      {"multi-string gives its first", fake::multi_sz({u"A", u"B"}), "A"},
      {"odd byte count keeps the last byte", raw(u"AB") + "C", "ABC"},
      {"single byte", "x", "x"},
      {"unpaired surrogate", sz(std::u16string{u'a', 0xD800}), "a\uFFFD"},
      {"non-ASCII", sz(u"K\u00FCche"), "K\u00FCche"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    m.registry[u"K"] = {};
    if (c.bytes) m.registry[u"K"].values[u"V"] = *c.bytes;
    EXPECT_EQ(read_value(), c.text);
  }
}

TEST_F(ReadersTest, RegistryStringProbesOnceThenReadsOnceWithTheProbedSize) {
  m.registry[u"K"].values[u"V"] = sz(u"abc");
  ASSERT_EQ(read_value(), "abc");
  const auto queries = calls_named("RegQueryValueExW");
  ASSERT_EQ(queries.size(), 2u);
  EXPECT_EQ(queries[0].value, u"V");
  EXPECT_FALSE(queries[0].buffer);
  EXPECT_EQ(queries[0].size, 0u);
  EXPECT_TRUE(queries[1].buffer);
  EXPECT_EQ(queries[1].size, 8u);
  // A failing probe, or a failing read (the value grew in between): absent, no retry.
  for (const auto& [failing, code] : {std::pair{1, ERROR_ACCESS_DENIED}, {2, ERROR_MORE_DATA}}) {
    m.calls.clear();
    m.faults.clear();
    m.fail_call("RegQueryValueExW", code, failing);
    EXPECT_EQ(read_value(), std::nullopt);
    EXPECT_EQ(m.count_calls("RegQueryValueExW"), std::size_t(failing));
  }
}

// The two spare bytes give one more unit: a zero one for data of even size.
TEST_F(ReadersTest, DevicePropertyAppendsOneUnitFromTheSpareBytes) {
  const struct {
    const char* name;
    std::optional<std::string> bytes;
    std::optional<std::u16string> units;
  } cases[] = {
      {"missing", std::nullopt, std::nullopt},
      {"size zero", "", std::nullopt},
      {"text", sz(u"AB"), std::u16string{u'A', u'B', 0, 0}},
      {"no terminating zero", raw(u"AB"), std::u16string{u'A', u'B', 0}},
      {"odd byte count", raw(u"A") + "B", std::u16string{u'A', u'B'}},
      {"one byte", "B", std::u16string{u'B'}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    m.devices = {{.instance_id = u"X"}};
    if (c.bytes) m.devices[0].properties[SPDRP_DEVICEDESC] = *c.bytes;
    EXPECT_EQ(read_property(SPDRP_DEVICEDESC), c.units);
  }
}

TEST_F(ReadersTest, DevicePropertyProbesThenReadsOnce) {
  m.devices = {{.instance_id = u"X", .properties = {{SPDRP_DRIVER, sz(u"abc")}}}};
  ASSERT_TRUE(read_property(SPDRP_DRIVER));
  const auto reads = calls_named("SetupDiGetDeviceRegistryPropertyW");
  ASSERT_EQ(reads.size(), 2u);
  EXPECT_FALSE(reads[0].buffer);
  EXPECT_EQ(reads[0].size, 0u);
  EXPECT_EQ(reads[1].size, 8u);
  EXPECT_EQ(reads[1].property, DWORD{SPDRP_DRIVER});
  m.fail_call("SetupDiGetDeviceRegistryPropertyW", ERROR_GEN_FAILURE, 4);
  EXPECT_EQ(read_property(SPDRP_DRIVER), std::nullopt);
  EXPECT_EQ(m.count_calls("SetupDiGetDeviceRegistryPropertyW"), 4u);
}

}  // namespace
}  // namespace qv
