#include "driver_lookup.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "machine_test.h"

namespace qv {
namespace {

using fake::sz;

const std::u16string kClass = u"SYSTEM\\CurrentControlSet\\Control\\Class\\";

class DriverLookupTest : public fake::MachineTest {
 protected:
  Reader reader;
};

TEST_F(DriverLookupTest, BuildsDriverInfoFromTheKeyValues) {
  const DriverIdentity june_2006{DriverDate{2006, 6, 21}, {{10, 0, 19041, 1}}};
  const struct {
    const char* name;
    std::map<std::u16string, std::string> values;
    std::optional<DriverInfo> expected;
  } cases[] = {
      {"all seven values",
       {{u"DriverDate", sz(u"6-21-2006")},
        {u"DriverVersion", sz(u"10.0.19041.1")},
        {u"DriverDesc", sz(u"Standard disk")},
        {u"ProviderName", sz(u"Microsoft")},
        {u"InfPath", sz(u"disk.inf")},
        {u"InfSectionExt", sz(u".NT")},
        {u"MatchingDeviceId", sz(u"GenDisk")}},
       DriverInfo{june_2006, "Standard disk", "Microsoft", "disk.inf", ".NT", "GenDisk"}},
      {"slashes parse like hyphens",
       {{u"DriverDate", sz(u"6/21/2006")}, {u"DriverVersion", sz(u"10.0.19041.1")}},
       DriverInfo{june_2006}},
      {"no date but a version",
       {{u"DriverVersion", sz(u"1.2.3.4")}},
       DriverInfo{{std::nullopt, {{1, 2, 3, 4}}}}},
      {"date but no version",
       {{u"DriverDate", sz(u"1-2-2003")}},
       DriverInfo{{DriverDate{2003, 1, 2}, {}}}},
      {"neither date nor version", {{u"DriverDesc", sz(u"Disk")}}, std::nullopt},
      {"empty texts read as absent",
       {{u"DriverVersion", sz(u"1.0")}, {u"DriverDesc", sz(u"")}, {u"ProviderName", sz(u"")}},
       DriverInfo{{std::nullopt, {{1, 0, 0, 0}}}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    m.registry[kClass + u"{4d36e967}\\0000"].values = c.values;
    EXPECT_EQ(lookup_driver(u"{4d36e967}\\0000", reader), c.expected);
    EXPECT_EQ(m.open_handles(), 0u);
  }
}

TEST_F(DriverLookupTest, ReadsTheValuesInOrderAndStopsWhenThereIsNoIdentity) {
  const std::u16string path = kClass + u"{x}\\0001";
  m.registry[path].values = {{u"DriverVersion", sz(u"1.2.3.4")}};
  ASSERT_TRUE(lookup_driver(u"{x}\\0001", reader));
  std::vector<std::u16string> names;
  for (const auto& call : calls_named("RegQueryValueExW")) {
    EXPECT_EQ(call.key, path);
    if (!call.buffer) names.push_back(call.value);
  }
  EXPECT_EQ(names, (std::vector<std::u16string>{u"DriverDate", u"DriverVersion", u"DriverDesc",
                                                u"ProviderName", u"InfPath", u"InfSectionExt",
                                                u"MatchingDeviceId"}));
  EXPECT_EQ(m.count_calls("RegCloseKey"), 1u);

  m.calls.clear();
  m.registry[path].values = {{u"DriverDesc", sz(u"Disk")}};
  EXPECT_EQ(lookup_driver(u"{x}\\0001", reader), std::nullopt);
  EXPECT_EQ(m.count_calls("RegQueryValueExW"), 2u);  // the two probes that found nothing
  EXPECT_EQ(m.count_calls("RegCloseKey"), 1u);
}

// The name is opened as its text reads: not trimmed, no '/' turned into '\',
// an unpaired surrogate as U+FFFD.
TEST_F(DriverLookupTest, UnopenableKeyMeansNoDriverAndNoQuery) {
  const std::u16string lone{u'{', u'x', u'}', 0xD800};
  m.registry[kClass + u"denied"] = {.open_status = ERROR_ACCESS_DENIED};
  m.registry[kClass + u"{x}\\0001"].values = {{u"DriverVersion", sz(u"1.0")}};
  m.registry[kClass + lone].values = {{u"DriverVersion", sz(u"1.0")}};
  const std::pair<std::u16string, std::u16string> cases[] = {{u"denied", u"denied"},
                                                             {u"missing", u"missing"},
                                                             {u"{x}\\0001 ", u"{x}\\0001 "},
                                                             {u"{x}/0001", u"{x}/0001"},
                                                             {lone, u"{x}\uFFFD"}};
  for (const auto& [name, opened] : cases) {
    EXPECT_EQ(lookup_driver(name, reader), std::nullopt);
    EXPECT_EQ(calls_named("RegOpenKeyExW").back().key, kClass + opened);
  }
  EXPECT_EQ(m.count_calls("RegQueryValueExW"), 0u);
  EXPECT_EQ(m.count_calls("RegCloseKey"), 0u);
}

}  // namespace
}  // namespace qv
