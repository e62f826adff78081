// Items made on threads of their own ahead of the one who takes them, handed
// over in their order. Each thread makes the next item that none has taken. A
// thread takes an item only while fewer than `bounds.items` are ahead of the
// taker, made or being made, and their bytes are under `bounds.bytes`, so that
// memory stays bounded however many there are; an item larger than the bound
// still goes when none other is ahead. An item counts its listed bytes while it
// is made, and its own once made.
//
//   ReadAhead<ReadFile> ahead(files.size(), {.items = 16, .bytes = 32 << 20}, 2,
//                             {.listed = ..., .make = ..., .bytes = ...});
//   for (std::size_t i = 0; i < files.size(); ++i) use(ahead.next());  // file i
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace qv {

template <typename Item>
class ReadAhead {
 public:
  struct Bounds {
    std::size_t items = 0;
    std::size_t bytes = 0;
  };
  // All called on the making threads; `listed` under the lock, so it is cheap.
  struct Work {
    std::function<void()> on_thread = [] {};         // first, on each thread
    std::function<std::size_t(std::size_t)> listed;  // item i's bytes before it is made
    std::function<Item(std::size_t)> make;           // item i
    std::function<std::size_t(const Item&)> bytes;   // a made item's
  };

  ReadAhead(std::size_t count, Bounds bounds, unsigned threads, Work work)
      : count_(count), bounds_(bounds), work_(std::move(work)) {
    for (unsigned i = 0; i < threads; ++i) {
      threads_.emplace_back([this] {
        work_.on_thread();
        while (make_next()) {
        }
      });
    }
  }
  // Items not yet taken are never made; one being made is finished first. All
  // threads are told to stop before the first is waited for. A flag under the lock
  // rather than the threads' stop tokens: waiting on a stop token under MinGW's
  // threads once left a maker blocked and the taker's join waiting for ever.
  ~ReadAhead() {
    {
      const std::scoped_lock lock(mutex_);
      stopping_ = true;
    }
    room_.notify_all();
  }
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // The next item in order, once made: called at most `count` times.
  Item next() {
    std::unique_lock lock(mutex_);
    made_.wait(lock, [&] { return !ahead_.empty() && ahead_.front().item; });
    Item item = std::move(*ahead_.front().item);
    held_bytes_ -= ahead_.front().bytes;
    ahead_.pop_front();
    ++handed_;
    lock.unlock();
    room_.notify_all();
    return item;
  }

 private:
  struct Slot {
    std::size_t bytes = 0;
    std::optional<Item> item{};
  };

  [[nodiscard]] bool has_room() const {
    return ahead_.empty() || (ahead_.size() < bounds_.items && held_bytes_ < bounds_.bytes);
  }

  // Takes the next item and makes it; false when there is none or the run stops.
  bool make_next() {
    std::unique_lock lock(mutex_);
    room_.wait(lock, [&] { return stopping_ || taken_ == count_ || has_room(); });
    if (stopping_ || taken_ == count_) return false;
    const std::size_t index = taken_++;
    const std::size_t listed = work_.listed(index);
    ahead_.push_back({.bytes = listed});
    held_bytes_ += listed;
    lock.unlock();

    Item item = work_.make(index);
    const std::size_t bytes = work_.bytes(item);
    lock.lock();
    Slot& slot = ahead_[index - handed_];
    held_bytes_ = held_bytes_ - slot.bytes + bytes;
    slot.bytes = bytes;
    slot.item = std::move(item);
    const bool awaited = index == handed_;
    lock.unlock();
    // Only the taker waits on an item, and only on the first; the makers wait
    // for room, which next() makes.
    if (awaited) made_.notify_one();
    return true;
  }

  const std::size_t count_;
  const Bounds bounds_;
  Work work_;
  std::mutex mutex_;
  std::condition_variable made_;
  std::condition_variable room_;
  std::deque<Slot> ahead_;  // from item handed_ on, in order
  std::size_t taken_ = 0;   // items taken by a making thread
  std::size_t handed_ = 0;  // items handed to the taker
  std::size_t held_bytes_ = 0;
  bool stopping_ = false;
  std::vector<std::jthread> threads_;  // last: stopped and joined before the rest goes
};

}  // namespace qv
