#include "unique_handle.h"

#include <gtest/gtest.h>

#include <vector>

namespace qv {
namespace {

// Handles are ints: 0 is empty, and no value below 1 may be closed. A close
// records the value and, like a real one, overwrites the last error.
struct CountedTraits {
  using Handle = int;
  static inline std::vector<int> closed;
  static inline unsigned error = 0;

  static int empty() noexcept { return 0; }
  static bool is_valid(int handle) noexcept { return handle > 0; }
  static void close(int handle) noexcept {
    closed.push_back(handle);
    error = 999;
  }
  static unsigned last_error() noexcept { return error; }
  static void set_last_error(unsigned code) noexcept { error = code; }
};
using Owner = UniqueHandle<CountedTraits>;
using Closed = std::vector<int>;

TEST(UniqueHandle, ClosesEachValidHandleOnceAndNothingElse) {
  CountedTraits::closed.clear();
  {
    Owner a(1), b(2), c(3), invalid(-1), empty;
    Owner moved(std::move(a));
    b = std::move(moved);  // closes 2
    Owner& same = b;
    b = std::move(same);
    c.reset(4);  // closes 3
    empty.reset();
    EXPECT_EQ(Owner(5).release(), 5);
    EXPECT_FALSE(a.valid());  // NOLINT(bugprone-use-after-move)
    EXPECT_EQ(b.get(), 1);
    EXPECT_EQ(CountedTraits::closed, (Closed{2, 3}));
    invalid.reset(6);
    invalid.reset(-1);  // closes 6
  }
  EXPECT_EQ(CountedTraits::closed, (Closed{2, 3, 6, 4, 1}));
}

TEST(UniqueHandle, ClosingKeepsThePendingLastError) {
  CountedTraits::closed.clear();
  Owner kept(2);
  {
    const Owner a(1);
    CountedTraits::error = 42;
  }
  EXPECT_EQ(CountedTraits::error, 42u);
  kept.reset();
  EXPECT_EQ(CountedTraits::error, 42u);
  EXPECT_EQ(CountedTraits::closed, (Closed{1, 2}));
}

}  // namespace
}  // namespace qv
