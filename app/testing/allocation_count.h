// The heap allocations of the current thread, for a program that links
// qv-counting-new: that library replaces the global operator new and delete of
// the whole program, which then counts every allocation it makes.
//
//   const AllocationCount before = allocations_so_far();
//   parse(...);
//   EXPECT_EQ(allocations_so_far() - before, AllocationCount{});
#pragma once

#include <cstdint>

namespace qv {

struct AllocationCount {
  std::uint64_t allocations = 0;
  std::uint64_t bytes = 0;
  friend bool operator==(const AllocationCount&, const AllocationCount&) = default;
  friend AllocationCount operator-(const AllocationCount& a, const AllocationCount& b) {
    return {a.allocations - b.allocations, a.bytes - b.bytes};
  }
};

// Per thread, so that counting costs no locked instruction.
[[nodiscard]] AllocationCount allocations_so_far() noexcept;

}  // namespace qv
