#include "identity_text.h"

#include <gtest/gtest.h>

#include <string_view>

namespace qv {
namespace {

using namespace std::string_view_literals;

TEST(ParseDriverIdentityText, TakesOnlyTheDisplayText) {
  const std::pair<std::string_view, DriverIdentity> taken[] = {
      {"2006-06-21 10.0.19041.1", {DriverDate{2006, 6, 21}, {{10, 0, 19041, 1}}}},
      {"2003-01-02 0.0.0.0", {DriverDate{2003, 1, 2}, {}}},
      {"0100-12-31 1.0.0.0", {DriverDate{100, 12, 31}, {{1, 0, 0, 0}}}},
      {"10000-01-01 1.0.0.0", {DriverDate{10000, 1, 1}, {{1, 0, 0, 0}}}},
      {"65535-01-01 65535.65535.65535.65535",
       {DriverDate{65535, 1, 1}, {{65535, 65535, 65535, 65535}}}},
      {"0.0.0.1", {std::nullopt, {{0, 0, 0, 1}}}},
  };
  for (const auto& [text, identity] : taken) EXPECT_EQ(parse_driver_identity_text(text), identity);
  for (const auto text : {"0.0.0.0"sv,
                          "2006-6-21 1.0.0.0"sv,
                          "06-21-2006 1.0.0.0"sv,
                          "2006-06-21  1.0.0.0"sv,
                          "2006-06-21"sv,
                          "2006-06-21 "sv,
                          " 1.0.0.0"sv,
                          "1.0.0.0 "sv,
                          "1.2.3"sv,
                          "1.2.3.4.5"sv,
                          "01.2.3.4"sv,
                          "+1.2.3.4"sv,
                          "1..3.4"sv,
                          "65536.0.0.0"sv,
                          "0099-01-01 1.0.0.0"sv,
                          "010000-01-01 1.0.0.0"sv,
                          "2006-13-01 1.0.0.0"sv,
                          "2006-00-01 1.0.0.0"sv,
                          "2006-01-32 1.0.0.0"sv,
                          "2006-01-00 1.0.0.0"sv,
                          "2006/01/01 1.0.0.0"sv,
                          ""sv}) {
    EXPECT_EQ(parse_driver_identity_text(text), std::nullopt) << text;
  }
}

}  // namespace
}  // namespace qv
