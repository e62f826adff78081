#include "report.h"

#include <gtest/gtest.h>

#include <string>

namespace qv {
namespace {

using namespace std::string_literals;

constexpr char kHeader[] = "qvdev1\nhost=PC\nos=10.0.19045\narch=amd64\nserver=0\n";

ScanResult host_only() { return ScanResult{.host = "PC", .os = "10.0.19045", .arch = "amd64"}; }

std::string section_of(DeviceRecord device) {
  ScanResult result = host_only();
  result.devices.push_back(std::move(device));
  return serialize_report(result).substr(sizeof kHeader - 1);
}

TEST(Report, WithoutDevicesTheFiveHeaderLines) {
  const std::pair<ScanResult, std::string> cases[] = {
      {host_only(), kHeader},
      {ScanResult{.server = true}, "qvdev1\nhost=\nos=\narch=\nserver=1\n"},
      {ScanResult{.host = "P\nC", .os = "10\r", .arch = "\tx"},
       "qvdev1\nhost=P C\nos=10 \narch= x\nserver=0\n"},
  };
  for (const auto& [result, report] : cases) EXPECT_EQ(serialize_report(result), report);
}

// Lines in table order; an absent value has no line, an empty one an empty value.
TEST(Report, SectionLinesInTableOrder) {
  const DriverIdentity identity{std::nullopt, DriverVersion{{6, 1, 0, 7}}};
  const std::pair<DeviceRecord, std::string> cases[] = {
      {{.instance_id = "I",
        .description = "D",
        .class_guid = "{G}",
        .hardware_ids = {"H1", "H2"},
        .compatible_ids = {"C1", "C2"},
        .driver = DriverInfo{{DriverDate{2023, 3, 14}, {{2, 1, 3, 15}}}, "DD", "P", "F", "E", "M"}},
       "[device]\ninstance_id=I\ndescription=D\nclass_guid={G}\nhwid=H1\nhwid=H2\ncid=C1\ncid=C2\n"
       "driver_ver=2023-03-14 2.1.3.15\ndriver_desc=DD\ndriver_provider=P\ndriver_inf=F\n"
       "driver_ext=E\ndriver_matching_id=M\n"},
      {{.instance_id = "A", .description = "B", .hardware_ids = {"H"}},
       "[device]\ninstance_id=A\ndescription=B\nhwid=H\n"},
      {{.class_guid = ""}, "[device]\ninstance_id=\ndescription=\nclass_guid=\n"},
      {{.instance_id = "A", .compatible_ids = {"C"}, .driver = DriverInfo{identity}},
       "[device]\ninstance_id=A\ndescription=\ncid=C\ndriver_ver=6.1.0.7\ndriver_desc=\n"},
      {{.instance_id = "A", .driver = DriverInfo{identity, "", "", "", "", ""}},
       "[device]\ninstance_id=A\ndescription=\ndriver_ver=6.1.0.7\ndriver_desc=\n"
       "driver_provider=\ndriver_inf=\ndriver_ext=\ndriver_matching_id=\n"},
  };
  for (const auto& [device, section] : cases) EXPECT_EQ(section_of(device), section);
}

// Each control character (U+0000..U+001F, U+007F, U+0080..U+009F) becomes one
// space; every other byte, well-formed or not, is copied: a lone continuation
// byte 0x85 is no U+0085. Each piece stands at every position of a longer value.
TEST(Report, ControlCharactersBecomeOneSpaceAndNothingElseChanges) {
  std::vector<std::pair<std::string, std::string>> cases = {
      {"\0"s, " "},
      {"\x1f", " "},
      {"\x7f", " "},
      {"\r\n\t", "   "},
      {"\xc2\x80", " "},
      {"\xc2\x9f", " "},
      {"\xc2\x7f", "\xc2 "},
      {"\xc2\xc2\x85", "\xc2 "},
      {"\xe0\xc2\x9f", "\xe0 "},
      {"\xc2\x85\xc2\x85\x01\xc2\x85", "    "}};
  for (const std::string kept : {" ", "~", "\xc2\xa0", "\xc2", "\x85\x9f\x80", "\xff\xfe\xc0\x8a",
                                 "\xe2\x80\xa8\xef\xbb\xbf\xe2\x80\xa6", "a=b [device] \\"}) {
    cases.emplace_back(kept, kept);
  }
  const std::string filler(40, 'x');
  for (const auto& [inserted, written] : cases) {
    for (std::size_t at = 0; at <= filler.size(); ++at) {
      const std::string section = section_of(
          {.instance_id = filler.substr(0, at) + inserted + filler.substr(at), .description = ""});
      EXPECT_EQ(section, "[device]\ninstance_id=" + filler.substr(0, at) + written +
                             filler.substr(at) + "\ndescription=\n")
          << testing::PrintToString(inserted) << " at " << at;
    }
  }
}

// One buffer is sized from all the records before anything is written: devices
// of very different sizes, values that shrink and identities shorter than the
// longest must all come out whole and in order.
TEST(Report, ManyDevicesEqualTheirSectionsInOrder) {
  ScanResult result = host_only();
  std::string expected = kHeader;
  for (std::size_t i = 0; i < 150; ++i) {
    DeviceRecord device{.instance_id = std::to_string(i),
                        .description = std::string(i < 40 ? 1 : 3000 + i, 'd') + "\n"};
    if (i % 3 == 0) {
      device.driver = DriverInfo{
          .identity = {DriverDate{2020, 1, 2}, {{1, 2, 3, static_cast<std::uint16_t>(i)}}},
          .provider = "P\xc2\x85"};
    }
    if (i % 5 == 0) device.hardware_ids.assign(i % 7, "hw\tid");
    expected += section_of(device);
    result.devices.push_back(std::move(device));
  }
  EXPECT_EQ(serialize_report(result), expected);
}

}  // namespace
}  // namespace qv
