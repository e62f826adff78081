#include "unique_handle.h"

#include <gtest/gtest.h>

#include <functional>
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

TEST(UniqueHandle, ClosesEachValidHandleOnceAndNothingElse) {
  struct Case {
    const char* name;
    std::function<void()> steps;
    std::vector<int> closed;  // in order
  };
  const Case cases[] = {
      {"destructor", [] { const Owner a(1); }, {1}},
      {"invalid values", [] { const Owner a(0), b(-1), c; }, {}},
      {"reset, then again",
       [] {
         Owner a(1);
         a.reset();
         a.reset();
         EXPECT_EQ(a.get(), 0);
       },
       {1}},
      {"reset to another", [] { Owner(1).reset(2); }, {1, 2}},
      {"reset to an invalid value", [] { Owner(1).reset(-1); }, {1}},
      {"move construction",
       [] {
         Owner a(1);
         const Owner b(std::move(a));
         EXPECT_FALSE(a.valid());  // NOLINT(bugprone-use-after-move)
         EXPECT_EQ(b.get(), 1);
       },
       {1}},
      {"move assignment closes the old one first",
       [] {
         Owner a(1);
         Owner b(2);
         b = std::move(a);
         EXPECT_EQ(CountedTraits::closed, std::vector<int>{2});
       },
       {2, 1}},
      {"self move",
       [] {
         Owner a(1);
         Owner& same = a;
         a = std::move(same);
         EXPECT_EQ(a.get(), 1);
       },
       {1}},
      {"release gives up ownership",
       [] {
         Owner a(1);
         EXPECT_EQ(a.release(), 1);
         EXPECT_FALSE(a.valid());
       },
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CountedTraits::closed.clear();
    c.steps();
    EXPECT_EQ(CountedTraits::closed, c.closed);
  }
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
  EXPECT_EQ(CountedTraits::closed, (std::vector<int>{1, 2}));
}

}  // namespace
}  // namespace qv
