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
  return listing_text(ScanResult{.devices = {device}}).substr(1);
}

// Any driver counts, even one without optional texts; values are shown as they are.
TEST(Summary, LabelsArePaddedAndCountsDerived) {
  ScanResult result{.host = "A\nB", .os = "\t\xc2\x85"};
  EXPECT_EQ(summary_text(result),
            "host      A\nB\nos        \t\xc2\x85\ndevices   0\nno driver 0\n");
  result = ScanResult{.host = "DESKTOP-1", .os = "10.0.19045"};
  result.devices.resize(12);
  result.devices[3].driver = driver_with(std::nullopt, {1, 0, 0, 0});
  result.devices[7].driver = driver_with(DriverDate{2020, 5, 6}, {1, 2, 3, 4});
  EXPECT_EQ(summary_text(result),
            "host      DESKTOP-1\nos        10.0.19045\ndevices   12\nno driver 10\n");
}

TEST(Listing, AnEmptyLineThenOneLinePerDeviceInListOrder) {
  EXPECT_EQ(listing_text(ScanResult{}), "\n");
  const ScanResult result{.devices = {{.instance_id = "2", .description = "Second"},
                                      {.instance_id = "1",
                                       .description = "First",
                                       .driver = driver_with(std::nullopt, {1, 2, 3, 4})}}};
  EXPECT_EQ(listing_text(result),
            "\n  -- no driver --                 Second\n"
            "  1.2.3.4                         First\n");
}

TEST(Listing, DriverColumnIsPaddedToThirtyAndNeverCut) {
  const DriverDate date{2023, 3, 14};
  const std::pair<std::optional<DriverInfo>, std::string> cases[] = {
      {std::nullopt, "  -- no driver --                 Disk\n"},
      {driver_with(std::nullopt, {10, 0, 19041, 1}), "  10.0.19041.1                    Disk\n"},
      {driver_with(date, {100, 2000, 3000, 4000}), "  2023-03-14 100.2000.3000.4000   Disk\n"},
      {driver_with(date, {1000, 2000, 3000, 4000}), "  2023-03-14 1000.2000.3000.4000  Disk\n"},
      {driver_with(date, {10000, 20000, 30000, 40000}),
       "  2023-03-14 10000.20000.30000.40000  Disk\n"},
  };
  for (const auto& [driver, line] : cases) {
    EXPECT_EQ(listing_line({.instance_id = "X", .description = "Disk", .driver = driver}), line);
  }
}

// Each byte that starts no well-formed sequence counts as one character.
TEST(Listing, DescriptionIsCutAfter59CharactersOnlyWhenLongerThan60) {
  const std::string a57(57, 'a'), a58(58, 'a'), a59(59, 'a'), ellipsis = "\xe2\x80\xa6";
  const std::string e_acute = "\xc3\xa9", smile = "\xf0\x9f\x98\x80";
  const struct {
    const char* name;
    std::string description;
    std::string shown;
  } cases[] = {
      {"60 ASCII", std::string(60, 'a'), std::string(60, 'a')},
      {"61 ASCII", std::string(61, 'a'), a59 + ellipsis},
      {"60 two-byte", repeat(e_acute, 60), repeat(e_acute, 60)},
      {"63 bytes, 21 characters", repeat("\xe6\x97\xa5", 21), repeat("\xe6\x97\xa5", 21)},
      {"61 four-byte", repeat(smile, 61), repeat(smile, 59) + ellipsis},
      {"multi-byte 59th", a58 + "\xe2\x82\xac" + "bc", a58 + "\xe2\x82\xac" + ellipsis},
      {"multi-byte 60th", a59 + smile + "b", a59 + ellipsis},
      {"multi-byte 60th of 60", a59 + smile, a59 + smile},
      {"control characters stay", "a\tb\r\n", "a\tb\r\n"},
      {"61 stray bytes", std::string(61, '\xff'), std::string(59, '\xff') + ellipsis},
      {"truncated sequence at the end", a59 + "\xe2\x82", a59 + ellipsis},
      {"truncated four-byte at the end", a58 + "\xf0\x9f\x98", a58 + "\xf0" + ellipsis},
      {"truncated four-byte within 60", a57 + "\xf0\x9f\x98", a57 + "\xf0\x9f\x98"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(listing_line({.instance_id = "X", .description = c.description}),
              "  -- no driver --                 " + c.shown + "\n")
        << c.name;
  }
}

}  // namespace
}  // namespace qv
