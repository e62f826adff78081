#include "console.h"

#include <gtest/gtest.h>

#include <string>

namespace qv {
namespace {

DriverInfo driver_with(std::optional<DriverDate> date, std::array<std::uint16_t, 4> parts) {
  return DriverInfo{.identity = DriverIdentity{date, DriverVersion{parts}}};
}

std::string repeat(const std::string& piece, std::size_t times) {
  std::string text;
  for (std::size_t i = 0; i < times; ++i) text += piece;
  return text;
}

std::string listing_line(const DeviceRecord& device) {
  ScanResult result;
  result.devices.push_back(device);
  return listing_text(result).substr(1);
}

TEST(Summary, LabelsArePaddedAndCountsDerived) {
  ScanResult result{.host = "DESKTOP-1", .os = "10.0.19045"};
  EXPECT_EQ(summary_text(result),
            "host      DESKTOP-1\nos        10.0.19045\ndevices   0\n"
            "no driver 0\n");
  result.devices.resize(12);
  // A driver with every optional text absent and an empty description is a driver.
  result.devices[3].driver = driver_with(std::nullopt, {1, 0, 0, 0});
  result.devices[7].driver = driver_with(DriverDate{2020, 5, 6}, {1, 2, 3, 4});
  EXPECT_EQ(summary_text(result),
            "host      DESKTOP-1\nos        10.0.19045\ndevices   12\n"
            "no driver 10\n");
}

TEST(Summary, ValuesAreNotCleaned) {
  const ScanResult result{.host = "A\nB", .os = "\t\xc2\x85"};
  EXPECT_EQ(summary_text(result),
            "host      A\nB\nos        \t\xc2\x85\ndevices   0\nno driver 0\n");
}

TEST(Listing, NoDevicesIsTheEmptyLineAlone) { EXPECT_EQ(listing_text(ScanResult{}), "\n"); }

TEST(Listing, DriverColumnIsPaddedToThirtyAndNeverCut) {
  struct Case {
    const char* name;
    std::optional<DriverInfo> driver;
    std::string line;
  };
  const Case cases[] = {
      {"no driver", std::nullopt, "  -- no driver --                 Disk\n"},
      {"dated", driver_with(DriverDate{2023, 3, 14}, {2, 1, 3, 15}),
       "  2023-03-14 2.1.3.15             Disk\n"},
      {"version alone", driver_with(std::nullopt, {10, 0, 19041, 1}),
       "  10.0.19041.1                    Disk\n"},
      {"29 characters", driver_with(DriverDate{2023, 3, 14}, {100, 2000, 3000, 4000}),
       "  2023-03-14 100.2000.3000.4000   Disk\n"},
      {"30 characters", driver_with(DriverDate{2023, 3, 14}, {1000, 2000, 3000, 4000}),
       "  2023-03-14 1000.2000.3000.4000  Disk\n"},
      {"34 characters", driver_with(DriverDate{2023, 3, 14}, {10000, 20000, 30000, 40000}),
       "  2023-03-14 10000.20000.30000.40000  Disk\n"},
  };
  for (const Case& c : cases) {
    const DeviceRecord device{.instance_id = "X", .description = "Disk", .driver = c.driver};
    EXPECT_EQ(listing_line(device), c.line) << c.name;
  }
}

TEST(Listing, DescriptionIsCutAfter59CharactersOnlyWhenLongerThan60) {
  const std::string ellipsis = "\xe2\x80\xa6";
  const std::string e_acute = "\xc3\xa9";
  const std::string euro = "\xe2\x82\xac";
  const std::string smile = "\xf0\x9f\x98\x80";
  struct Case {
    const char* name;
    std::string description;
    std::string shown;
  };
  const Case cases[] = {
      {"empty", "", ""},
      {"60 ASCII", std::string(60, 'a'), std::string(60, 'a')},
      {"61 ASCII", std::string(61, 'a'), std::string(59, 'a') + ellipsis},
      {"60 two-byte", repeat(e_acute, 60), repeat(e_acute, 60)},
      {"61 two-byte", repeat(e_acute, 61), repeat(e_acute, 59) + ellipsis},
      {"61 four-byte", repeat(smile, 61), repeat(smile, 59) + ellipsis},
      {"multi-byte 59th", std::string(58, 'a') + euro + "bc",
       std::string(58, 'a') + euro + ellipsis},
      {"multi-byte 60th", std::string(59, 'a') + smile + "b", std::string(59, 'a') + ellipsis},
      {"multi-byte 60th of 60", std::string(59, 'a') + smile, std::string(59, 'a') + smile},
      {"ends in an ellipsis", std::string(59, 'a') + ellipsis, std::string(59, 'a') + ellipsis},
      {"control characters stay", "a\tb\r\n", "a\tb\r\n"},
      // Each byte that starts no well-formed sequence counts as one character.
      {"61 stray bytes", std::string(61, '\xff'), std::string(59, '\xff') + ellipsis},
      {"truncated sequence at the end", std::string(59, 'a') + "\xe2\x82",
       std::string(59, 'a') + ellipsis},
      {"truncated four-byte at the end", std::string(58, 'a') + "\xf0\x9f\x98",
       std::string(58, 'a') + "\xf0" + ellipsis},
      {"truncated four-byte within 60", std::string(57, 'a') + "\xf0\x9f\x98",
       std::string(57, 'a') + "\xf0\x9f\x98"},
      {"surrogate encoding", std::string(59, 'a') + "\xed\xa0\x80",
       std::string(59, 'a') + ellipsis},
  };
  for (const Case& c : cases) {
    const DeviceRecord device{.instance_id = "X", .description = c.description};
    EXPECT_EQ(listing_line(device), "  -- no driver --                 " + c.shown + "\n")
        << c.name;
  }
}

TEST(Listing, OneLinePerDeviceInListOrder) {
  ScanResult result;
  result.devices.push_back({.instance_id = "2", .description = "Second"});
  result.devices.push_back({.instance_id = "1",
                            .description = "First",
                            .driver = driver_with(std::nullopt, {1, 2, 3, 4})});
  EXPECT_EQ(listing_text(result),
            "\n  -- no driver --                 Second\n"
            "  1.2.3.4                         First\n");
}

}  // namespace
}  // namespace qv
