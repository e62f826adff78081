// Counts heap allocations made while parsing; this test binary links the
// counting allocation functions.
#include <gtest/gtest.h>

#include <string_view>
#include <vector>

#include "allocation_count.h"
#include "driver.h"

namespace qv {
namespace {

using namespace std::string_view_literals;

// Proves the counter sees allocations, so a zero below means something.
TEST(DriverAllocation, CounterSeesTheDisplayTextAllocate) {
  const DriverIdentity identity{DriverDate{2006, 6, 21}, DriverVersion{{10, 0, 19041, 1}}};
  const AllocationCount before = allocations_so_far();
  const std::string text = driver_identity_text(identity);  // longer than any small buffer
  EXPECT_GE((allocations_so_far() - before).allocations, 1u);
  EXPECT_EQ(text, "2006-06-21 10.0.19041.1");
}

TEST(DriverAllocation, ParsingAllocatesNothing) {
  const std::vector<std::vector<std::string_view>> inputs = {
      {"6/21/2006"sv, "10.0.19041.1"sv},
      {"\xE3\x80\x80 12 / 31 / 99 \xC2\xA0"sv, " +6.1.7600.16385.1.2.3.4.5.6.7.8.9 "sv},
      {"1/2/2003/4/5/6/7/8/9/10/11/12/13/14/15/16/17"sv, "70000.x..-1"sv},
      {"1/2/99999999999999999999999999999999"sv, "0.0.0.1"sv},
      {"not a date at all, long enough to defeat any small buffer"sv},
      {""sv, ""sv, "ignored"sv},
      {},
  };
  std::vector<std::optional<qv::DriverIdentity>> results(inputs.size());
  const AllocationCount before = allocations_so_far();
  for (std::size_t i = 0; i < inputs.size(); ++i) results[i] = parse_driver_identity(inputs[i]);
  EXPECT_EQ(allocations_so_far() - before, AllocationCount{});
  EXPECT_TRUE(results[0].has_value());
  EXPECT_FALSE(results[6].has_value());
}

TEST(DriverAllocation, AppendingIntoRoomyTextAllocatesNothing) {
  const DriverIdentity identity{DriverDate{65535, 1, 1},
                                DriverVersion{{65535, 65535, 65535, 65535}}};
  std::string sink;
  sink.reserve(64);
  const AllocationCount before = allocations_so_far();
  append_driver_identity_text(sink, identity);
  EXPECT_EQ(allocations_so_far() - before, AllocationCount{});
  EXPECT_EQ(sink.size(), 35u);
}

}  // namespace
}  // namespace qv
