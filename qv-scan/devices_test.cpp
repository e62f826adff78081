#include "devices.h"

#include <optional>
#include <string>
#include <vector>

#include "machine_test.h"

namespace qv {
namespace {

using fake::multi_sz;
using fake::raw;
using fake::sz;

using Properties = std::map<DWORD, std::string>;

DeviceRecord record(std::string id, std::string description, std::vector<std::string> hwids,
                    std::vector<std::string> cids = {}) {
  DeviceRecord r;
  r.instance_id = std::move(id);
  r.description = std::move(description);
  r.hardware_ids = std::move(hwids);
  r.compatible_ids = std::move(cids);
  return r;
}

class DevicesTest : public fake::MachineTest {
 protected:
  // A plain device that follows each case's device, to show the walk goes on.
  static fake::Device sentinel() {
    return {.instance_id = u"ROOT\\LAST", .properties = {{SPDRP_HARDWAREID, multi_sz({u"last"})}}};
  }
  static DeviceRecord sentinel_record() { return record("ROOT\\LAST", "", {"last"}); }
};

TEST_F(DevicesTest, FillsEachRecordFromItsProperties) {
  const Properties ids = {{SPDRP_HARDWAREID, multi_sz({u"PCI\\A", u"PCI\\B"})}};
  const auto with = [&](Properties more) {
    more.insert(ids.begin(), ids.end());
    return more;
  };
  DeviceRecord guid_record = record("D", "", {"PCI\\A", "PCI\\B"});
  guid_record.class_guid = "{4d36e968-e325-11ce-bfc1-08002be10318}";
  struct Case {
    const char* name;
    fake::Device device;
    std::optional<DeviceRecord> expected;
  };
  const std::vector<Case> cases = {
      {"instance id size 0", {.properties = ids}, std::nullopt},
      {"instance id size 1: listed with an empty id",
       {.instance_id = u"", .properties = ids},
       record("", "", {"PCI\\A", "PCI\\B"})},
      {"no ids at all", {.instance_id = u"D"}, std::nullopt},
      {"both id lists empty",
       {.instance_id = u"D",
        .properties = {{SPDRP_HARDWAREID, multi_sz({})}, {SPDRP_COMPATIBLEIDS, sz(u"")}}},
       std::nullopt},
      {"compatible ids only",
       {.instance_id = u"D", .properties = {{SPDRP_COMPATIBLEIDS, multi_sz({u"C"})}}},
       record("D", "", {}, {"C"})},
      {"hardware ids stop at the first empty piece",
       {.instance_id = u"D",
        .properties = {{SPDRP_HARDWAREID, raw(std::u16string{u'A', 0, 0, u'B', 0, 0})}}},
       record("D", "", {"A"})},
      {"list without its closing zeros",
       {.instance_id = u"D",
        .properties = {{SPDRP_HARDWAREID, raw(std::u16string{u'A', 0, u'B'})}}},
       record("D", "", {"A", "B"})},
      {"friendly name wins",
       {.instance_id = u"D",
        .properties =
            with({{SPDRP_FRIENDLYNAME, sz(u"Friendly")}, {SPDRP_DEVICEDESC, sz(u"Desc")}})},
       record("D", "Friendly", {"PCI\\A", "PCI\\B"})},
      {"empty friendly name falls back",
       {.instance_id = u"D",
        .properties = with({{SPDRP_FRIENDLYNAME, sz(u"")}, {SPDRP_DEVICEDESC, sz(u"Desc")}})},
       record("D", "Desc", {"PCI\\A", "PCI\\B"})},
      {"empty device description",
       {.instance_id = u"D", .properties = with({{SPDRP_DEVICEDESC, sz(u"")}})},
       record("D", "", {"PCI\\A", "PCI\\B"})},
      {"class guid kept as given",
       {.instance_id = u"D",
        .properties = with({{SPDRP_CLASSGUID, sz(u"{4d36e968-e325-11ce-bfc1-08002be10318}")}})},
       guid_record},
      {"empty class guid is absent",
       {.instance_id = u"D", .properties = with({{SPDRP_CLASSGUID, sz(u"")}})},
       record("D", "", {"PCI\\A", "PCI\\B"})},
      {"empty driver key name",
       {.instance_id = u"D", .properties = with({{SPDRP_DRIVER, sz(u"")}})},
       record("D", "", {"PCI\\A", "PCI\\B"})},
      {"driver key that does not exist",
       {.instance_id = u"D", .properties = with({{SPDRP_DRIVER, sz(u"{none}\\0000")}})},
       record("D", "", {"PCI\\A", "PCI\\B"})},
      {"lone surrogate in the id",
       {.instance_id = std::u16string{u'D', 0xDC00}, .properties = ids},
       record("D\xEF\xBF\xBD", "", {"PCI\\A", "PCI\\B"})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    m = fake::Machine{};
    m.devices = {c.device, sentinel()};
    std::vector<DeviceRecord> expected;
    if (c.expected) expected.push_back(*c.expected);
    expected.push_back(sentinel_record());
    EXPECT_EQ(enumerate_devices(), expected);
    EXPECT_EQ(m.open_handles(), 0u);
    EXPECT_EQ(m.handle_misuse, 0u);
  }
}

TEST_F(DevicesTest, LeftOutMemberReadsNothingMore) {
  m.devices = {{.instance_id = u"D", .properties = {{SPDRP_DRIVER, sz(u"{x}\\0000")}}}};
  EXPECT_EQ(enumerate_devices(), std::vector<DeviceRecord>{});
  std::vector<DWORD> read;
  for (const auto& call : calls_named("SetupDiGetDeviceRegistryPropertyW")) {
    read.push_back(*call.property);
  }
  EXPECT_EQ(read, (std::vector<DWORD>{SPDRP_HARDWAREID, SPDRP_COMPATIBLEIDS}));
  EXPECT_EQ(m.count_calls("RegOpenKeyExW"), 0u);
}

TEST_F(DevicesTest, ReadsPropertiesInOrderAndLooksUpTheDriver) {
  m.devices = {{.instance_id = u"PCI\\VEN_8086",
                .properties = {{SPDRP_HARDWAREID, multi_sz({u"PCI\\VEN_8086"})},
                               {SPDRP_DEVICEDESC, sz(u"Controller")},
                               {SPDRP_DRIVER, sz(u"{x}\\0003")}}}};
  m.registry[u"SYSTEM\\CurrentControlSet\\Control\\Class\\{x}\\0003"].values = {
      {u"DriverVersion", sz(u"2.0")}};
  const auto devices = enumerate_devices();
  ASSERT_TRUE(devices);
  ASSERT_EQ(devices->size(), 1u);
  ASSERT_TRUE((*devices)[0].driver);
  EXPECT_EQ((*devices)[0].driver->identity.version, (DriverVersion{{2, 0, 0, 0}}));
  std::vector<DWORD> probed;
  for (const auto& call : calls_named("SetupDiGetDeviceRegistryPropertyW")) {
    if (!call.buffer) probed.push_back(*call.property);
  }
  const std::vector<DWORD> order = {SPDRP_HARDWAREID, SPDRP_COMPATIBLEIDS, SPDRP_FRIENDLYNAME,
                                    SPDRP_DEVICEDESC, SPDRP_CLASSGUID,     SPDRP_DRIVER};
  EXPECT_EQ(probed, order);
  const auto id_calls = calls_named("SetupDiGetDeviceInstanceIdW");
  ASSERT_EQ(id_calls.size(), 2u);
  EXPECT_FALSE(id_calls[0].buffer);
  EXPECT_EQ(id_calls[1].size, 14u);  // 12 units, the NUL and one spare
}

TEST_F(DevicesTest, KeepsOrderAndDuplicatesAndSkipsAbsentDevices) {
  const fake::Device dup{.instance_id = u"DUP", .properties = {{SPDRP_HARDWAREID, sz(u"h")}}};
  fake::Device gone = dup;
  gone.instance_id = u"GONE";
  gone.present = false;
  m.devices = {dup, gone, dup, sentinel()};
  const std::vector<DeviceRecord> expected = {record("DUP", "", {"h"}), record("DUP", "", {"h"}),
                                              sentinel_record()};
  EXPECT_EQ(enumerate_devices(), expected);
}

TEST_F(DevicesTest, FailingSecondInstanceIdCallLeavesOnlyThatMemberOut) {
  m.devices = {{.instance_id = u"A", .properties = {{SPDRP_HARDWAREID, sz(u"h")}}}, sentinel()};
  m.fail_call("SetupDiGetDeviceInstanceIdW", ERROR_INVALID_DATA, 2);
  EXPECT_EQ(enumerate_devices(), std::vector<DeviceRecord>{sentinel_record()});
}

TEST_F(DevicesTest, EnumerationEndsWithNoMoreItemsOrWithAnError) {
  struct Case {
    const char* name;
    std::string failing_call;
    std::size_t occurrence;
    DWORD code;
    std::expected<std::vector<DeviceRecord>, ScanError> expected;
  };
  const std::vector<Case> cases = {
      {"first enumeration already at the end", "SetupDiEnumDeviceInfo", 1, ERROR_NO_MORE_ITEMS,
       std::vector<DeviceRecord>{}},
      {"the set cannot be had", "SetupDiGetClassDevsW", 1, ERROR_ACCESS_DENIED,
       std::unexpected(
           scan_error_from_code("The list of devices couldn't be read.", ERROR_ACCESS_DENIED))},
      {"error after two devices", "SetupDiEnumDeviceInfo", 3, ERROR_INVALID_DATA,
       std::unexpected(
           scan_error_from_code("The device list ended unexpectedly.", ERROR_INVALID_DATA))},
      {"error instead of the end", "SetupDiEnumDeviceInfo", 4, 0xE000020B,
       std::unexpected(scan_error_from_code("The device list ended unexpectedly.", 0xE000020B))},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    m = fake::Machine{};
    m.devices = {sentinel(), sentinel(), sentinel()};
    m.fail_call(c.failing_call, c.code, c.occurrence);
    EXPECT_EQ(enumerate_devices(), c.expected);
    EXPECT_EQ(m.open_handles(), 0u);
  }
}

}  // namespace
}  // namespace qv
