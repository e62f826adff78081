#include "decimal.h"

#include <gtest/gtest.h>

#include <string>

namespace qv {
namespace {

TEST(Decimal, DigitsPaddingAndAppending) {
  struct Case {
    std::uint64_t value;
    std::size_t min_digits;
    std::string text;
  };
  const Case cases[] = {
      {0, 0, "0"},     {7, 0, "7"},
      {10, 0, "10"},   {4294967295u, 0, "4294967295"},
      {5, 2, "05"},    {0, 4, "0000"},
      {123, 2, "123"}, {18446744073709551615u, 0, "18446744073709551615"},
  };
  for (const Case& c : cases) {
    char buffer[32];
    EXPECT_EQ(std::string(buffer, put_decimal(buffer, c.value, c.min_digits)), c.text);
    if (c.min_digits != 0) continue;
    std::string text = "n=";
    append_decimal(text, c.value);
    EXPECT_EQ(text, "n=" + c.text);
  }
}

}  // namespace
}  // namespace qv
