#include "read_ahead.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace qv {
namespace {

// What the making threads have made and the taker not yet let go of: the
// read-ahead's items and the one in the taker's hands.
class Held {
 public:
  void made() {
    const std::scoped_lock lock(mutex_);
    ++started_;
    ++items_;
    peak_items_ = std::max(peak_items_, items_);
    changed_.notify_all();
  }
  void let_go() {
    const std::scoped_lock lock(mutex_);
    --items_;
  }
  // Until `count` items have been started: the read-ahead at its fullest.
  void wait_for(std::size_t count) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return started_ >= count; });
  }
  std::size_t started() {
    const std::scoped_lock lock(mutex_);
    return started_;
  }
  std::size_t peak_items() const { return peak_items_; }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t started_ = 0;
  std::size_t items_ = 0;
  std::size_t peak_items_ = 0;
};

// Item i is its index; it takes `sizes[i % sizes.size()]` bytes once made and
// is listed at `listed` bytes while it is made, or at its own size.
struct Case {
  std::string name;
  std::size_t count;
  ReadAhead<std::size_t>::Bounds bounds;
  std::vector<std::size_t> sizes;
  std::optional<std::size_t> listed;
  std::size_t fill;  // how many the makers take ahead whatever the order they finish in
  std::size_t most;  // the most made and not let go: those ahead and the taker's
};

TEST(ReadAhead, HandsEveryItemInOrderWithinItsBounds) {
  const std::vector<Case> cases = {
      {"no items", 0, {.items = 4, .bytes = 100}, {1}, std::nullopt, 0, 0},
      {"bounded by items", 300, {.items = 4, .bytes = 1000}, {1}, std::nullopt, 4, 5},
      {"bounded by bytes", 300, {.items = 100, .bytes = 30}, {10}, std::nullopt, 3, 4},
      // Taken while under the bound: the last one taken may pass it.
      {"bytes bound between items", 300, {.items = 100, .bytes = 31}, {10}, std::nullopt, 4, 5},
      {"each larger than the bound", 50, {.items = 4, .bytes = 5}, {10}, std::nullopt, 1, 2},
      // Three small ones and a large one ahead, then no more.
      {"one large among small ones",
       100,
       {.items = 8, .bytes = 40},
       {1, 1, 100, 1},
       std::nullopt,
       1,
       5},
      // A file listed empty counts what it holds once read: two read and one
      // being read on each thread.
      {"listed smaller than made", 300, {.items = 100, .bytes = 30}, {10}, 0, 3, 3},
  };
  for (const Case& c : cases) {
    for (unsigned threads : {1u, 2u, 3u}) {
      SCOPED_TRACE(c.name + ", threads " + std::to_string(threads));
      const auto size = [&](std::size_t i) { return c.sizes[i % c.sizes.size()]; };
      Held held;
      std::vector<std::size_t> handed;
      {
        ReadAhead<std::size_t> ahead(
            c.count, c.bounds, threads,
            {.listed = [&](std::size_t i) { return c.listed.value_or(size(i)); },
             .make =
                 [&](std::size_t i) {
                   held.made();
                   return i;
                 },
             .bytes = [&](const std::size_t& i) { return size(i); }});
        for (std::size_t i = 0; i < c.count; ++i) {
          // The makers first fill the room they have, to be held to its bound.
          held.wait_for(std::min(c.count, i + c.fill));
          handed.push_back(ahead.next());
          held.let_go();
        }
      }
      std::vector<std::size_t> in_order(c.count);
      for (std::size_t i = 0; i < c.count; ++i) in_order[i] = i;
      EXPECT_EQ(handed, in_order);
      EXPECT_EQ(held.started(), c.count);
      EXPECT_LE(held.peak_items(), c.most + (c.listed ? threads : 0));
    }
  }
}

// A taker that stops, as the writer does when the index fails, leaves the rest
// unmade: the threads end without waiting for it to take more.
TEST(ReadAhead, StopsWithTheTaker) {
  for (const std::size_t taken : {0, 1, 5}) {
    SCOPED_TRACE(taken);
    Held held;
    {
      ReadAhead<std::size_t> ahead(1000, {.items = 4, .bytes = 1000}, 2,
                                   {.listed = [](std::size_t) { return 1; },
                                    .make =
                                        [&](std::size_t i) {
                                          held.made();
                                          return i;
                                        },
                                    .bytes = [](const std::size_t&) { return 1; }});
      for (std::size_t i = 0; i < taken; ++i) EXPECT_EQ(ahead.next(), i);
      held.wait_for(taken + 4);
    }
    EXPECT_EQ(held.started(), taken + 4);
  }
}

}  // namespace
}  // namespace qv
