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
using namespace std::string_view_literals;

using Properties = std::map<DWORD, std::string>;
using Records = std::vector<DeviceRecord>;

const std::u16string kClass = u"SYSTEM\\CurrentControlSet\\Control\\Class\\";

DeviceRecord record(std::string id, std::string description, std::vector<std::string> hwids,
                    std::vector<std::string> cids = {}) {
  return {.instance_id = std::move(id),
          .description = std::move(description),
          .hardware_ids = std::move(hwids),
          .compatible_ids = std::move(cids)};
}

// A plain device that follows each case's device, to show the walk goes on.
const fake::Device kLast{.instance_id = u"ROOT\\LAST",
                         .properties = {{SPDRP_HARDWAREID, multi_sz({u"last"})}}};
const DeviceRecord kLastRecord = record("ROOT\\LAST", "", {"last"});

class DevicesTest : public fake::MachineTest {};

// Each case's device has the hardware ids PCI\A and PCI\B unless it names its own.
TEST_F(DevicesTest, FillsEachRecordFromItsProperties) {
  const std::vector<std::string> hwids = {"PCI\\A", "PCI\\B"};
  const auto with = [&](std::string description) { return record("D", description, hwids); };
  DeviceRecord guid_record = with("");
  guid_record.class_guid = "{4d36e968-E325}";
  const std::optional<DeviceRecord> left_out;
  const DWORD hw = SPDRP_HARDWAREID, compat = SPDRP_COMPATIBLEIDS;
  const DWORD friendly = SPDRP_FRIENDLYNAME, desc = SPDRP_DEVICEDESC;
  const struct {
    const char* name;
    std::optional<std::u16string> instance_id;
    Properties properties;
    std::optional<DeviceRecord> expected;
  } cases[] = {
      {"instance id size 0", std::nullopt, {}, left_out},
      {"instance id size 1: an empty id", u"", {}, record("", "", hwids)},
      {"both id lists empty", u"D", {{hw, sz(u"")}, {compat, sz(u"")}}, left_out},
      {"compatible ids only", u"D", {{hw, ""}, {compat, sz(u"C")}}, record("D", "", {}, {"C"})},
      {"no closing zeros", u"D", {{hw, raw(u"A\0B"sv)}}, record("D", "", {"A", "B"})},
      {"friendly name wins", u"D", {{friendly, sz(u"F")}, {desc, sz(u"E")}}, with("F")},
      {"empty friendly name", u"D", {{friendly, sz(u"")}, {desc, sz(u"E")}}, with("E")},
      {"class guid kept as given", u"D", {{SPDRP_CLASSGUID, sz(u"{4d36e968-E325}")}}, guid_record},
      {"empty class guid is absent", u"D", {{SPDRP_CLASSGUID, sz(u"")}}, with("")},
      // The class key itself holds a driver's values: an empty name must not reach it.
      {"empty driver key name", u"D", {{SPDRP_DRIVER, sz(u"")}}, with("")},
      {"driver key that does not exist", u"D", {{SPDRP_DRIVER, sz(u"{none}\\0000")}}, with("")},
      {"lone surrogate in the id", std::u16string{u'D', 0xDC00}, {}, record("D\uFFFD", "", hwids)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    m = fake::Machine{};
    m.registry[kClass].values = {{u"DriverVersion", sz(u"1.0")}};
    fake::Device device{.instance_id = c.instance_id, .properties = c.properties};
    device.properties.insert({SPDRP_HARDWAREID, multi_sz({u"PCI\\A", u"PCI\\B"})});
    m.devices = {device, kLast};
    Records expected;
    if (c.expected) expected.push_back(*c.expected);
    expected.push_back(kLastRecord);
    EXPECT_EQ(enumerate_devices(), expected);
    EXPECT_EQ(m.open_handles(), 0u);
    EXPECT_EQ(m.handle_misuse, 0u);
  }
}

std::vector<DWORD> properties_read(const std::vector<fake::Call>& calls) {
  std::vector<DWORD> read;
  for (const auto& call : calls) {
    if (!call.buffer) read.push_back(*call.property);
  }
  return read;
}

// A member without ids is left out before anything else is read.
TEST_F(DevicesTest, ReadsPropertiesInOrderAndLooksUpTheDriver) {
  const std::string driver = sz(u"{x}\\0003");
  m.devices = {{.instance_id = u"LEFT OUT", .properties = {{SPDRP_DRIVER, driver}}},
               {.instance_id = u"PCI\\VEN_8086",
                .properties = {{SPDRP_HARDWAREID, sz(u"PCI")}, {SPDRP_DRIVER, driver}}}};
  m.registry[kClass + u"{x}\\0003"].values = {{u"DriverVersion", sz(u"2.0")}};
  const auto devices = enumerate_devices();
  ASSERT_TRUE(devices && devices->size() == 1 && (*devices)[0].driver);
  EXPECT_EQ((*devices)[0].driver->identity.version, (DriverVersion{{2, 0, 0, 0}}));
  EXPECT_EQ(properties_read(calls_named("SetupDiGetDeviceRegistryPropertyW")),
            (std::vector<DWORD>{SPDRP_HARDWAREID, SPDRP_COMPATIBLEIDS, SPDRP_HARDWAREID,
                                SPDRP_COMPATIBLEIDS, SPDRP_FRIENDLYNAME, SPDRP_DEVICEDESC,
                                SPDRP_CLASSGUID, SPDRP_DRIVER}));
  EXPECT_EQ(m.count_calls("RegOpenKeyExW"), 1u);
  const auto id_calls = calls_named("SetupDiGetDeviceInstanceIdW");
  ASSERT_EQ(id_calls.size(), 4u);
  EXPECT_FALSE(id_calls[2].buffer);
  EXPECT_EQ(id_calls[3].size, 14u);  // 12 units, the NUL and one spare
}

TEST_F(DevicesTest, KeepsOrderAndDuplicatesAndSkipsAbsentDevices) {
  const fake::Device dup{.instance_id = u"DUP", .properties = {{SPDRP_HARDWAREID, sz(u"h")}}};
  fake::Device gone = dup;
  gone.instance_id = u"GONE";
  gone.present = false;
  m.devices = {dup, gone, dup, kLast};
  EXPECT_EQ(enumerate_devices(),
            (Records{record("DUP", "", {"h"}), record("DUP", "", {"h"}), kLastRecord}));
}

// Only ERROR_NO_MORE_ITEMS ends the walk with a list; never a partial one.
TEST_F(DevicesTest, EnumerationEndsWithNoMoreItemsOrWithAnError) {
  const struct {
    const char* name;
    std::string failing_call;
    std::size_t occurrence;
    DWORD code;
    std::expected<Records, ScanError> expected;
  } cases[] = {
      {"first enumeration already at the end", "SetupDiEnumDeviceInfo", 1, ERROR_NO_MORE_ITEMS,
       Records{}},
      {"second instance id call fails: only that member left out", "SetupDiGetDeviceInstanceIdW", 2,
       ERROR_INVALID_DATA, Records{kLastRecord, kLastRecord}},
      {"the set cannot be had", "SetupDiGetClassDevsW", 1, ERROR_ACCESS_DENIED,
       std::unexpected(
           scan_error_from_code("The list of devices couldn't be read.", ERROR_ACCESS_DENIED))},
      {"error instead of the end", "SetupDiEnumDeviceInfo", 4, 0xE000020B,
       std::unexpected(scan_error_from_code("The device list ended unexpectedly.", 0xE000020B))},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    m = fake::Machine{};
    m.devices = {kLast, kLast, kLast};
    m.fail_call(c.failing_call, c.code, c.occurrence);
    EXPECT_EQ(enumerate_devices(), c.expected);
    EXPECT_EQ(m.open_handles(), 0u);
  }
}

}  // namespace
}  // namespace qv
