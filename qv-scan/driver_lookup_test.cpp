#include "driver_lookup.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "machine_test.h"

namespace qv {
namespace {

using fake::sz;

constexpr char16_t kClassKey[] = u"SYSTEM\\CurrentControlSet\\Control\\Class\\";

DriverIdentity identity(std::optional<DriverDate> date, DriverVersion version) {
  return DriverIdentity{date, version};
}

DriverInfo info(DriverIdentity id, std::string description = "") {
  DriverInfo result;
  result.identity = id;
  result.description = std::move(description);
  return result;
}

class DriverLookupTest : public fake::MachineTest {
 protected:
  std::u16string scratch;
};

TEST_F(DriverLookupTest, BuildsDriverInfoFromTheKeyValues) {
  using Values = std::map<std::u16string, std::string>;
  const DriverIdentity june_2006 = identity(DriverDate{2006, 6, 21}, {{10, 0, 19041, 1}});
  DriverInfo full = info(june_2006, "Standard disk");
  full.provider = "Microsoft";
  full.inf_path = "disk.inf";
  full.inf_section_ext = ".NT";
  full.matching_device_id = "GenDisk";
  struct Case {
    const char* name;
    Values values;
    std::optional<DriverInfo> expected;
  };
  const std::vector<Case> cases = {
      {"all seven values",
       {{u"DriverDate", sz(u"6-21-2006")},
        {u"DriverVersion", sz(u"10.0.19041.1")},
        {u"DriverDesc", sz(u"Standard disk")},
        {u"ProviderName", sz(u"Microsoft")},
        {u"InfPath", sz(u"disk.inf")},
        {u"InfSectionExt", sz(u".NT")},
        {u"MatchingDeviceId", sz(u"GenDisk")}},
       full},
      {"slashes parse like hyphens",
       {{u"DriverDate", sz(u"6/21/2006")}, {u"DriverVersion", sz(u"10.0.19041.1")}},
       info(june_2006)},
      {"no date but a version",
       {{u"DriverVersion", sz(u"1.2.3.4")}},
       info(identity(std::nullopt, {{1, 2, 3, 4}}))},
      {"date but no version",
       {{u"DriverDate", sz(u"1-2-2003")}},
       info(identity(DriverDate{2003, 1, 2}, {}))},
      {"neither date nor version",
       {{u"DriverDesc", sz(u"Disk")}, {u"ProviderName", sz(u"Microsoft")}},
       std::nullopt},
      {"unparsable date and version 0.0.0.0",
       {{u"DriverDate", sz(u"yesterday")}, {u"DriverVersion", sz(u"0.0.0.0")}},
       std::nullopt},
      {"empty texts read as absent",
       {{u"DriverVersion", sz(u"1.0")}, {u"DriverDesc", sz(u"")}, {u"ProviderName", sz(u"")}},
       info(identity(std::nullopt, {{1, 0, 0, 0}}))},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    m = fake::Machine{};
    m.registry[std::u16string(kClassKey) + u"{4d36e967}\\0000"].values = c.values;
    EXPECT_EQ(lookup_driver(u"{4d36e967}\\0000", scratch), c.expected);
    EXPECT_EQ(m.open_handles(), 0u);
  }
}

TEST_F(DriverLookupTest, ReadsTheValuesInOrderAndStopsWhenThereIsNoIdentity) {
  const std::u16string path = std::u16string(kClassKey) + u"{x}\\0001";
  m.registry[path].values = {{u"DriverVersion", sz(u"1.2.3.4")}};
  ASSERT_TRUE(lookup_driver(u"{x}\\0001", scratch));
  std::vector<std::u16string> names;
  for (const auto& call : calls_named("RegQueryValueExW")) {
    EXPECT_EQ(call.key, path);
    if (!call.buffer) names.push_back(call.value);
  }
  const std::vector<std::u16string> expected = {
      u"DriverDate", u"DriverVersion", u"DriverDesc",      u"ProviderName",
      u"InfPath",    u"InfSectionExt", u"MatchingDeviceId"};
  EXPECT_EQ(names, expected);
  EXPECT_EQ(m.count_calls("RegCloseKey"), 1u);

  m.calls.clear();
  m.registry[path].values = {{u"DriverDesc", sz(u"Disk")}};
  EXPECT_EQ(lookup_driver(u"{x}\\0001", scratch), std::nullopt);
  EXPECT_EQ(m.count_calls("RegQueryValueExW"), 2u);  // the two probes that found nothing
  EXPECT_EQ(m.count_calls("RegCloseKey"), 1u);
}

TEST_F(DriverLookupTest, UnopenableKeyMeansNoDriverAndNoQuery) {
  m.registry[std::u16string(kClassKey) + u"denied"] = {.open_status = ERROR_ACCESS_DENIED};
  m.registry[std::u16string(kClassKey) + u"{x}\\0001"].values = {{u"DriverVersion", sz(u"1.0")}};
  const std::u16string lone_surrogate{u'{', u'x', u'}', 0xD800};
  m.registry[std::u16string(kClassKey) + lone_surrogate].values = {{u"DriverVersion", sz(u"1.0")}};
  struct Case {
    std::u16string name;
    std::u16string opened;  // below the class key
  };
  const std::vector<Case> cases = {
      {u"denied", u"denied"},
      {u"missing", u"missing"},
      {u"{x}\\0001 ", u"{x}\\0001 "},
      {u"{x}/0001", u"{x}/0001"},
      // The name is opened as its text reads: the unpaired surrogate as U+FFFD.
      {lone_surrogate, u"{x}\uFFFD"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(lookup_driver(c.name, scratch), std::nullopt);
    EXPECT_EQ(calls_named("RegOpenKeyExW").back().key, std::u16string(kClassKey) + c.opened);
  }
  EXPECT_EQ(m.count_calls("RegQueryValueExW"), 0u);
  EXPECT_EQ(m.count_calls("RegCloseKey"), 0u);
}

}  // namespace
}  // namespace qv
