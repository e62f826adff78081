#include "report.h"

#include <gtest/gtest.h>

#include <string>

namespace qv {
namespace {

using namespace std::string_literals;

constexpr char kHeader[] = "qvdev1\nhost=PC\nos=10.0.19045\narch=amd64\nserver=0\n";

ScanResult host_only() { return ScanResult{.host = "PC", .os = "10.0.19045", .arch = "amd64"}; }

DriverIdentity dated(std::uint16_t year, std::uint8_t month, std::uint8_t day,
                     std::array<std::uint16_t, 4> parts) {
  return DriverIdentity{DriverDate{year, month, day}, DriverVersion{parts}};
}

DeviceRecord plain_device(std::string description) {
  return DeviceRecord{.instance_id = "ROOT\\X\\0000", .description = std::move(description)};
}

std::string repeat(const std::string& piece, std::size_t times) {
  std::string text;
  for (std::size_t i = 0; i < times; ++i) text += piece;
  return text;
}

std::string report_of(DeviceRecord device) {
  ScanResult result = host_only();
  result.devices.push_back(std::move(device));
  return serialize_report(result);
}

std::string section_of(DeviceRecord device) {
  return report_of(std::move(device)).substr(sizeof kHeader - 1);
}

// The description line of a device whose description is `value`.
std::string written_value(const std::string& value) {
  const std::string section = section_of(plain_device(value));
  const std::string key = "description=";
  const std::size_t start = section.find(key) + key.size();
  return section.substr(start, section.size() - start - 1);
}

TEST(Report, WithoutDevicesTheFiveHeaderLines) {
  ScanResult server = host_only();
  server.server = true;
  const std::pair<ScanResult, std::string> cases[] = {
      {host_only(), kHeader},
      {server, "qvdev1\nhost=PC\nos=10.0.19045\narch=amd64\nserver=1\n"},
      {ScanResult{}, "qvdev1\nhost=\nos=\narch=\nserver=0\n"},
      {ScanResult{.host = "P\nC", .os = "10\r", .arch = "\tx"},
       "qvdev1\nhost=P C\nos=10 \narch= x\nserver=0\n"},
  };
  for (const auto& [result, report] : cases) EXPECT_EQ(serialize_report(result), report);
}

// Lines in table order; an absent value has no line, an empty one an empty value.
TEST(Report, SectionLinesInTableOrder) {
  struct Case {
    const char* name;
    DeviceRecord device;
    std::string section;
  };
  const DriverInfo bare{.identity = DriverIdentity{std::nullopt, DriverVersion{{6, 1, 0, 7}}}};
  const DriverInfo empty_texts{.identity = bare.identity,
                               .provider = "",
                               .inf_path = "",
                               .inf_section_ext = "",
                               .matching_device_id = ""};
  const Case cases[] = {
      {"every value present",
       {.instance_id = "PCI\\VEN_1234&DEV_5678\\4&2F1C0A9B&0&00E0",
        .description = "Example Network Adapter",
        .class_guid = "{12345678-9abc-def0-1234-56789abcdef0}",
        .hardware_ids = {"PCI\\VEN_1234&DEV_5678&REV_01", "PCI\\VEN_1234&DEV_5678"},
        .compatible_ids = {"PCI\\VEN_1234&CC_020000", "PCI\\CC_020000"},
        .driver = DriverInfo{.identity = dated(2023, 3, 14, {2, 1, 3, 15}),
                             .description = "Example Driver",
                             .provider = "Example Provider",
                             .inf_path = "oem12.inf",
                             .inf_section_ext = ".NTAMD64",
                             .matching_device_id = "PCI\\VEN_1234&DEV_5678"}},
       "[device]\n"
       "instance_id=PCI\\VEN_1234&DEV_5678\\4&2F1C0A9B&0&00E0\n"
       "description=Example Network Adapter\n"
       "class_guid={12345678-9abc-def0-1234-56789abcdef0}\n"
       "hwid=PCI\\VEN_1234&DEV_5678&REV_01\n"
       "hwid=PCI\\VEN_1234&DEV_5678\n"
       "cid=PCI\\VEN_1234&CC_020000\n"
       "cid=PCI\\CC_020000\n"
       "driver_ver=2023-03-14 2.1.3.15\n"
       "driver_desc=Example Driver\n"
       "driver_provider=Example Provider\n"
       "driver_inf=oem12.inf\n"
       "driver_ext=.NTAMD64\n"
       "driver_matching_id=PCI\\VEN_1234&DEV_5678\n"},
      {"no driver, one hwid",
       {.instance_id = "A", .description = "B", .hardware_ids = {"H"}},
       "[device]\ninstance_id=A\ndescription=B\nhwid=H\n"},
      {"empty class guid and texts",
       {.instance_id = "", .description = "", .class_guid = ""},
       "[device]\ninstance_id=\ndescription=\nclass_guid=\n"},
      {"driver without date or optional texts",
       {.instance_id = "A", .description = "B", .driver = bare},
       "[device]\ninstance_id=A\ndescription=B\ndriver_ver=6.1.0.7\ndriver_desc=\n"},
      {"driver with empty optional texts",
       {.instance_id = "A",
        .description = "B",
        .compatible_ids = {"C1", "C2", "C3"},
        .driver = empty_texts},
       "[device]\ninstance_id=A\ndescription=B\ncid=C1\ncid=C2\ncid=C3\ndriver_ver=6.1.0.7\n"
       "driver_desc=\ndriver_provider=\ndriver_inf=\ndriver_ext=\ndriver_matching_id=\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(section_of(c.device), c.section) << c.name;
}

TEST(Report, ControlCharactersBecomeOneSpaceAndNothingElseChanges) {
  struct Case {
    std::string value;
    std::string written;
  };
  const Case cases[] = {
      {"line\r\nbreak", "line  break"},
      {"tab\there", "tab here"},
      {"\x01\x1f\x7f", "   "},
      {"nul"s + '\0' + "inside", "nul inside"},
      {"\xc2\x80|\xc2\x85|\xc2\x9f", " | | "},  // U+0080, U+0085 (NEL), U+009F
      {"\xc2\xa0|\xc2\xa9|\xe2\x80\xa6", "\xc2\xa0|\xc2\xa9|\xe2\x80\xa6"},  // NBSP, (c), ...
      {"a=b=c [x] \\y\\ ", "a=b=c [x] \\y\\ "},
      {"  padded  ", "  padded  "},
      {"\xe2\x80\xa8 \xef\xbb\xbf", "\xe2\x80\xa8 \xef\xbb\xbf"},  // U+2028 and U+FEFF stay
      // Ill-formed bytes pass unchanged; a lone continuation byte 0x85 is not U+0085.
      {"\x85\x9f\x80", "\x85\x9f\x80"},
      {"\xc2", "\xc2"},
      {"end\xc2", "end\xc2"},
      {"\xc2\xc2\x85", "\xc2 "},
      {"\xe0\xc2\x9f!", "\xe0 !"},
      {"\xff\xfe\xc0\x8a", "\xff\xfe\xc0\x8a"},
      // Runs, and long values.
      {std::string(40, '\n') + "x" + std::string(17, '\x7f'),
       std::string(40, ' ') + "x" + std::string(17, ' ')},
      {repeat("\xc2\x85", 20) + "end", std::string(20, ' ') + "end"},
      {repeat("\xc3\xa9", 100), repeat("\xc3\xa9", 100)},
  };
  for (const Case& c : cases) EXPECT_EQ(written_value(c.value), c.written) << c.value;
}

// Every byte on either side of a boundary of the control ranges, at every
// position of a long value, start and end included.
TEST(Report, BoundaryCharactersAnywhereInALongValue) {
  struct Case {
    std::string inserted;
    std::string written;
  };
  const Case cases[] = {
      {std::string(1, '\0'), " "},
      {"\x1f", " "},
      {"\x20", "\x20"},
      {"\x7e", "\x7e"},
      {"\x7f", " "},
      {"\xc2\x80", " "},
      {"\xc2\x9f", " "},
      {"\xc2\xa0", "\xc2\xa0"},
      {"\xc2\x7f", "\xc2 "},
      {"\xc2", "\xc2"},
  };
  const std::string filler(40, 'x');
  for (const Case& c : cases) {
    for (std::size_t at = 0; at <= filler.size(); ++at) {
      const std::string value = filler.substr(0, at) + c.inserted + filler.substr(at);
      const std::string written = filler.substr(0, at) + c.written + filler.substr(at);
      EXPECT_EQ(written_value(value), written)
          << testing::PrintToString(c.inserted) << " at " << at;
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
    DeviceRecord device = plain_device(std::string(i < 40 ? 1 : 3000 + i, 'd') + "\n");
    device.instance_id += std::to_string(i);
    if (i % 3 == 0) {
      device.driver =
          DriverInfo{.identity = dated(2020, 1, 2, {1, 2, 3, static_cast<std::uint16_t>(i)}),
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
