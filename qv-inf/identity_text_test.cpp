#include "identity_text.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

namespace qv {
namespace {

DriverIdentity dated(std::uint16_t year, std::uint8_t month, std::uint8_t day,
                     std::array<std::uint16_t, 4> parts) {
  return DriverIdentity{DriverDate{year, month, day}, DriverVersion{parts}};
}

TEST(ParseDriverIdentityText, TakesOnlyTheDisplayText) {
  struct Case {
    std::string_view text;
    std::optional<DriverIdentity> identity;
  };
  const Case cases[] = {
      {"2006-06-21 10.0.19041.1", dated(2006, 6, 21, {10, 0, 19041, 1})},
      {"2003-01-02 0.0.0.0", dated(2003, 1, 2, {})},
      {"0100-12-31 1.0.0.0", dated(100, 12, 31, {1, 0, 0, 0})},
      {"65535-01-01 65535.65535.65535.65535", dated(65535, 1, 1, {65535, 65535, 65535, 65535})},
      {"6.1.7600.16385", DriverIdentity{std::nullopt, DriverVersion{{6, 1, 7600, 16385}}}},
      {"0.0.0.1", DriverIdentity{std::nullopt, DriverVersion{{0, 0, 0, 1}}}},
      {"0.0.0.0", std::nullopt},
      {"2006-6-21 1.0.0.0", std::nullopt},
      {"06-21-2006 1.0.0.0", std::nullopt},
      {"2006-06-21  1.0.0.0", std::nullopt},
      {"2006-06-21", std::nullopt},
      {"2006-06-21 ", std::nullopt},
      {" 1.0.0.0", std::nullopt},
      {"1.0.0.0 ", std::nullopt},
      {"1.2.3", std::nullopt},
      {"1.2.3.4.5", std::nullopt},
      {"01.2.3.4", std::nullopt},
      {"+1.2.3.4", std::nullopt},
      {"1..3.4", std::nullopt},
      {"65536.0.0.0", std::nullopt},
      {"0099-01-01 1.0.0.0", std::nullopt},
      {"10000-01-01 1.0.0.0", dated(10000, 1, 1, {1, 0, 0, 0})},
      {"010000-01-01 1.0.0.0", std::nullopt},
      {"2006-13-01 1.0.0.0", std::nullopt},
      {"2006-00-01 1.0.0.0", std::nullopt},
      {"2006-01-32 1.0.0.0", std::nullopt},
      {"2006-01-00 1.0.0.0", std::nullopt},
      {"2006/01/01 1.0.0.0", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(parse_driver_identity_text(c.text), c.identity) << c.text;
}

}  // namespace
}  // namespace qv
