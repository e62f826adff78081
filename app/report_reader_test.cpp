#include "report_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <string_view>

#include "report.h"

namespace qv {
namespace {

using namespace std::string_literals;

constexpr char kHeader[] = "qvdev1\nhost=PC\nos=10.0.19045\narch=amd64\nserver=0\n";

DriverIdentity dated(std::uint16_t year, std::uint8_t month, std::uint8_t day,
                     std::array<std::uint16_t, 4> parts) {
  return DriverIdentity{DriverDate{year, month, day}, DriverVersion{parts}};
}

std::string describe(const std::expected<ScanResult, ReportError>& read) {
  if (read) return serialize_report(*read);
  return "line " + std::to_string(read.error().line) + ": " + read.error().message;
}

// Random results whose texts hold no control characters but everything else
// that must survive: "=", "[device]", spaces at the ends, empty texts,
// non-ASCII and ill-formed bytes (a lone 0xC2 included).
class Generator {
 public:
  explicit Generator(unsigned seed) : random_(seed) {}

  ScanResult result() {
    ScanResult result{.host = text(), .os = text(), .arch = text(), .server = pick(2) == 1};
    const std::size_t devices = pick(6);
    for (std::size_t i = 0; i < devices; ++i) result.devices.push_back(device(i));
    return result;
  }

 private:
  std::size_t pick(std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(random_);
  }

  std::string text() {
    // clang-format off
    static const std::string_view pieces[] = {
        "a", "Z", " ", "=", "[device]", "\\", "\xc3\xa9", "\xe2\x80\xa6", "\xc2\xa0", "\xc2", "\xff",
        "\xf0\x9f\x98\x80", "driver_ver=1.2.3.4", "\xef\xbb\xbf", "\xc2\xc2\xa0"};
    // clang-format on
    std::string out;
    for (std::size_t n = pick(8); n > 0; --n) out += pieces[pick(std::size(pieces))];
    return out;
  }
  std::optional<std::string> maybe_text() {
    if (pick(3) == 0) return std::nullopt;
    return text();
  }
  std::vector<std::string> texts() {
    std::vector<std::string> out(pick(4));
    for (auto& entry : out) entry = text();
    return out;
  }
  DriverIdentity identity() {
    DriverIdentity identity;
    if (pick(2) == 0) {
      identity.date = DriverDate{static_cast<std::uint16_t>(100 + pick(65436)),
                                 static_cast<std::uint8_t>(1 + pick(12)),
                                 static_cast<std::uint8_t>(1 + pick(31))};
    }
    for (auto& part : identity.version.parts)
      part = static_cast<std::uint16_t>(pick(3) == 0 ? 0 : pick(65536));
    if (!identity.date && identity.version == DriverVersion{}) identity.version.parts[0] = 1;
    return identity;
  }
  DeviceRecord device(std::size_t index) {
    DeviceRecord device{.instance_id = text() + "#" + std::to_string(index),
                        .description = text(),
                        .class_guid = maybe_text(),
                        .hardware_ids = texts(),
                        .compatible_ids = texts()};
    if (pick(3) != 0) {
      device.driver = DriverInfo{.identity = identity(),
                                 .description = text(),
                                 .provider = maybe_text(),
                                 .inf_path = maybe_text(),
                                 .inf_section_ext = maybe_text(),
                                 .matching_device_id = maybe_text()};
    }
    return device;
  }

  std::mt19937 random_;
};

// What editors do to a text file must not change what it says.
std::string edited(const std::string& report, int how) {
  std::string out = how & 1 ? "\xef\xbb\xbf" : "";
  for (const char c : report) {
    if (c == '\n' && (how & 2)) out += '\r';
    out += c;
  }
  if (how & 4) out.pop_back();  // the final line feed
  return out;
}

TEST(ReadReport, GivesBackWhatWasWritten) {
  ScanResult full{.host = "PC", .os = "10.0.19045", .arch = "amd64", .server = true};
  full.devices = {
      {.instance_id = "PCI\\VEN_1234&DEV_5678\\4&2F1C0A9B&0&00E0",
       .description = "Example Network Adapter",
       .class_guid = "{12345678-9abc-def0-1234-56789abcdef0}",
       .hardware_ids = {"PCI\\VEN_1234&DEV_5678&REV_01", "PCI\\VEN_1234&DEV_5678"},
       .compatible_ids = {"PCI\\CC_020000"},
       .driver = DriverInfo{.identity = dated(2023, 3, 14, {2, 1, 3, 15}),
                            .description = "Example",
                            .provider = "Example Provider",
                            .inf_path = "oem12.inf",
                            .inf_section_ext = ".NTAMD64",
                            .matching_device_id = "PCI\\VEN_1234&DEV_5678"}},
      {.instance_id = "", .description = "", .class_guid = "", .hardware_ids = {"", ""}},
      {.instance_id = "B",
       .driver = DriverInfo{.identity = {std::nullopt, DriverVersion{{0, 0, 0, 1}}},
                            .provider = "",
                            .matching_device_id = ""}},
      {.instance_id = "C", .driver = DriverInfo{.identity = dated(100, 12, 31, {})}},
      {.instance_id = "D",
       .driver = DriverInfo{.identity = dated(65535, 1, 1, {65535, 65535, 65535, 65535})}},
  };
  std::vector<ScanResult> results = {ScanResult{}, full};
  Generator generator(12);
  for (int i = 0; i < 300; ++i) results.push_back(generator.result());
  for (const ScanResult& result : results) {
    const std::string report = serialize_report(result);
    for (int how = 0; how < 8; ++how) {
      const auto read = read_report(edited(report, how));
      ASSERT_TRUE(read && *read == result) << "edit " << how << "\n" << report << describe(read);
    }
  }
}

TEST(ReadReport, RefusesWhatTheWriterNeverWrites) {
  struct Case {
    std::string text;
    std::size_t line;
    std::string message;
  };
  const std::string header = kHeader;
  const std::string device = header + "[device]\ninstance_id=A\ndescription=d\n";  // lines 6-8
  const std::string driver = device + "driver_ver=1.0.0.0\ndriver_desc=\n";
  const std::string control = "The line holds a control character, which a report never does.";
  const Case cases[] = {
      {"", 1, "The first line is not \"qvdev1\"."},
      {"qvdev2\n", 1, "The first line is not \"qvdev1\"."},
      {" qvdev1\n", 1, "The first line is not \"qvdev1\"."},
      {"\n\xef\xbb\xbfqvdev1\n", 1, "The first line is not \"qvdev1\"."},
      {"qvdev1", 1, "The \"qvdev1\" line is not followed by a \"host\" line."},
      {"qvdev1\nhostname=PC\n", 1, "The \"qvdev1\" line is not followed by a \"host\" line."},
      {"qvdev1\nhost=PC\narch=amd64\n", 2, "The \"host\" line is not followed by an \"os\" line."},
      {"qvdev1\nhost=PC\nos=1\narch=a\n", 4,
       "The \"arch\" line is not followed by a \"server\" line."},
      {"qvdev1\nhost=PC\nos=1\narch=a\nserver=\n", 5,
       "The \"server\" value is neither \"0\" nor \"1\"."},
      {"qvdev1\nhost=PC\nos=1\narch=a\nserver=true\n", 5,
       "The \"server\" value is neither \"0\" nor \"1\"."},
      {"qvdev1\nhost=P\tC\n", 2, control},
      {header + "host=PC\n", 6, "A value line comes before the first \"[device]\"."},
      {device + "\n", 9, "The line is empty."},
      {device + "hwid\n", 9, "The line is neither \"[device]\" nor a key=value line."},
      {device + "[Device]\n", 9, "The line is neither \"[device]\" nor a key=value line."},
      {device + "hwids=X\n", 9, "The key \"hwids\" is not one of the report's keys."},
      {device + "HWID=X\n", 9, "The key \"HWID\" is not one of the report's keys."},
      {device + "hw id=X\n", 9, "The line's key is not one of the report's keys."},
      {device + "=X\n", 9, "The line's key is not one of the report's keys."},
      {device + "description=x\xc2\x85y\n", 9, control},
      {device + "cid=a\x7f\n", 9, control},
      {device + "hwid=a\r\r\n", 9, control},
      {device + "cid=a\rb\n", 9, control},
      {header + "[device]\n", 6,
       "The \"[device]\" line is not followed by an \"instance_id\" line."},
      {header + "[device]\ndescription=d\n", 6,
       "The \"[device]\" line is not followed by an \"instance_id\" line."},
      {header + "[device]\ninstance_id=A\n[device]\n", 7,
       "The \"instance_id\" line is not followed by a \"description\" line."},
      {header + "[device]\ninstance_id=A\nhwid=H\n", 7,
       "The \"instance_id\" line is not followed by a \"description\" line."},
      {device + "driver_ver=1.0.0.0\n", 9,
       "The \"driver_ver\" line is not followed by a \"driver_desc\" line."},
      {device + "driver_ver=1.0.0.0\ndriver_inf=x\n", 9,
       "The \"driver_ver\" line is not followed by a \"driver_desc\" line."},
      {device + "driver_desc=x\n", 9,
       "The \"driver_desc\" line comes without a \"driver_ver\" line before it."},
      {device + "driver_inf=x\n", 9,
       "The \"driver_inf\" line comes without a \"driver_ver\" line before it."},
      {device + "class_guid=x\nclass_guid=y\n", 10,
       "The \"class_guid\" line appears twice in the section."},
      {driver + "driver_ext=x\ndriver_ext=x\n", 12,
       "The \"driver_ext\" line appears twice in the section."},
      {device + "cid=x\nhwid=y\n", 10,
       "The \"hwid\" line comes after the \"cid\" line, out of the report's order."},
      {driver + "cid=x\n", 11,
       "The \"cid\" line comes after the \"driver_desc\" line, out of the report's order."},
      {driver + "driver_matching_id=x\ndriver_provider=y\n", 12,
       "The \"driver_provider\" line comes after the \"driver_matching_id\" line, out of the "
       "report's order."},
      {device + "[device]\ninstance_id=B\ndescription=d\n[device]\ninstance_id=A\n", 13,
       "The instance id already names the device on line 7."},
      {device + "driver_ver=2006-6-21 1.0.0.0\n", 9,
       "The \"driver_ver\" value is not a valid driver date and version."},
  };
  for (const Case& c : cases) {
    const auto read = read_report(c.text);
    EXPECT_EQ(read ? ReportError{} : read.error(), (ReportError{c.line, c.message})) << c.text;
  }
}

TEST(ReadReport, ControlCharacterAnywhereInALine) {
  const std::string filler(24, 'x');
  for (const std::string inserted : {"\x01", "\x1f", "\x7f", "\xc2\x80", "\xc2\x9f", "\xc2\xa0"}) {
    for (std::size_t at = 0; at <= filler.size(); ++at) {
      const std::string text = std::string(kHeader) +
                               "[device]\ninstance_id=" + filler.substr(0, at) + inserted +
                               filler.substr(at) + "\ndescription=\n";
      EXPECT_EQ(read_report(text).has_value(), inserted == "\xc2\xa0") << at << " " << inserted;
    }
  }
}

}  // namespace
}  // namespace qv
