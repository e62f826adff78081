// Counts heap allocations made while parsing. The global allocation functions
// are replaced for this whole test binary; they count only inside a window.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string_view>
#include <vector>

#include "driver.h"

namespace {

std::atomic<bool> g_counting{false};
std::atomic<long> g_allocations{0};

void* allocate(std::size_t size) noexcept {
  if (g_counting.load(std::memory_order_relaxed)) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
  }
  return std::malloc(size == 0 ? 1 : size);
}

void* allocate_or_abort(std::size_t size) {
  void* p = allocate(size);
  if (p == nullptr) std::abort();  // running out of memory ends the test run
  return p;
}

// Counts the allocations made between its construction and count().
class AllocationWindow {
 public:
  AllocationWindow() {
    g_allocations.store(0);
    g_counting.store(true);
  }
  ~AllocationWindow() { g_counting.store(false); }
  AllocationWindow(const AllocationWindow&) = delete;
  AllocationWindow& operator=(const AllocationWindow&) = delete;
  long count() {
    g_counting.store(false);
    return g_allocations.load();
  }
};

}  // namespace

void* operator new(std::size_t size) { return allocate_or_abort(size); }
void* operator new[](std::size_t size) { return allocate_or_abort(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace qv {
namespace {

using namespace std::string_view_literals;

// Proves the counter sees allocations, so a zero below means something.
TEST(DriverAllocation, CounterSeesTheDisplayTextAllocate) {
  const DriverIdentity identity{DriverDate{2006, 6, 21}, DriverVersion{{10, 0, 19041, 1}}};
  AllocationWindow window;
  const std::string text = driver_identity_text(identity);  // longer than any small buffer
  const long allocations = window.count();
  EXPECT_GE(allocations, 1);
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
  AllocationWindow window;
  for (std::size_t i = 0; i < inputs.size(); ++i) results[i] = parse_driver_identity(inputs[i]);
  const long allocations = window.count();
  EXPECT_EQ(allocations, 0);
  EXPECT_TRUE(results[0].has_value());
  EXPECT_FALSE(results[6].has_value());
}

TEST(DriverAllocation, AppendingIntoRoomyTextAllocatesNothing) {
  const DriverIdentity identity{DriverDate{65535, 1, 1},
                                DriverVersion{{65535, 65535, 65535, 65535}}};
  std::string sink;
  sink.reserve(64);
  AllocationWindow window;
  append_driver_identity_text(sink, identity);
  const long allocations = window.count();
  EXPECT_EQ(allocations, 0);
  EXPECT_EQ(sink.size(), 35u);
}

}  // namespace
}  // namespace qv
