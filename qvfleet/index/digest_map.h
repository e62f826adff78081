// A hash table from SectionDigest to a small value, held flat in one array: a
// lookup reads one slot, where a node-based map reads a bucket and then a node,
// which for a run's hundreds of thousands of device states are two cache misses.
//
//   DigestMap<std::int64_t> rows;
//   rows.insert(digest, 7);       // a digest not in the map
//   if (const std::int64_t* row = rows.find(digest)) ...
//   rows.erase(digest);
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

#include "prepared_report.h"

namespace qv {

template <typename Value>
class DigestMap {
 public:
  DigestMap() : seed_((std::uint64_t{std::random_device{}()} << 32) | std::random_device{}()) {}

  [[nodiscard]] const Value* find(const SectionDigest& key) const {
    if (slots_.empty()) return nullptr;
    for (std::size_t i = home(key);; i = next(i)) {
      if (!used(i)) return nullptr;
      if (slots_[i].key == key) return &slots_[i].value;
    }
  }

  // Asks the memory for the slot where `key` would be looked up first.
  void prefetch(const SectionDigest& key) const {
    if (!slots_.empty()) __builtin_prefetch(&slots_[home(key)]);
  }

  // `key` must not be in the map.
  void insert(const SectionDigest& key, Value value) {
    // At most three quarters full, which keeps the runs of taken slots short.
    if (4 * (size_ + 1) > 3 * slots_.size()) grow();
    std::size_t i = home(key);
    while (used(i)) i = next(i);
    slots_[i] = Slot{key, std::move(value)};
    set_used(i, true);
    ++size_;
  }

  void erase(const SectionDigest& key) {
    if (slots_.empty()) return;
    std::size_t hole = home(key);
    while (used(hole) && slots_[hole].key != key) hole = next(hole);
    if (!used(hole)) return;
    // Each later slot of the run whose home is not between the hole and it moves
    // into the hole, so that every key stays reachable from its home.
    for (std::size_t i = next(hole); used(i); i = next(i)) {
      const std::size_t mask = slots_.size() - 1;
      if (((i - home(slots_[i].key)) & mask) >= ((i - hole) & mask)) {
        slots_[hole] = std::move(slots_[i]);
        hole = i;
      }
    }
    set_used(hole, false);
    --size_;
  }

  [[nodiscard]] std::size_t size() const { return size_; }

 private:
  struct Slot {
    SectionDigest key{};
    Value value{};
  };
  // Whether a slot is taken is kept apart, a bit each, so that a slot holds no
  // padding; the bits of a whole run fit in one cache line.
  [[nodiscard]] bool used(std::size_t i) const { return (used_[i / 64] >> (i % 64)) & 1; }
  void set_used(std::size_t i, bool taken) {
    const std::uint64_t bit = std::uint64_t{1} << (i % 64);
    used_[i / 64] = taken ? used_[i / 64] | bit : used_[i / 64] & ~bit;
  }

  // A digest is a SHA-256's, but a report's author can choose sections whose
  // digests share their low bits; mixed with a seed of the run's own, they can't
  // be made to crowd one run of slots.
  [[nodiscard]] std::size_t home(const SectionDigest& key) const {
    std::uint64_t low;
    std::uint64_t high;
    std::memcpy(&low, key.data(), sizeof low);
    std::memcpy(&high, key.data() + sizeof low, sizeof high);
    // The top bits of a product depend on all the bits below them.
    const std::uint64_t mixed = (((low ^ seed_) * 0x9E3779B97F4A7C15) ^ high) * 0xC2B2AE3D27D4EB4F;
    return static_cast<std::size_t>(mixed >> shift_);
  }
  [[nodiscard]] std::size_t next(std::size_t i) const { return (i + 1) & (slots_.size() - 1); }

  void grow() {
    const std::size_t count = slots_.empty() ? 64 : 2 * slots_.size();
    std::vector<Slot> old = std::exchange(slots_, std::vector<Slot>(count));
    std::vector<std::uint64_t> old_used =
        std::exchange(used_, std::vector<std::uint64_t>(count / 64));
    shift_ = 64 - std::countr_zero(count);
    size_ = 0;
    for (std::size_t i = 0; i < old.size(); ++i) {
      if ((old_used[i / 64] >> (i % 64)) & 1) insert(old[i].key, std::move(old[i].value));
    }
  }

  std::uint64_t seed_;
  int shift_ = 64;           // 64 less the bits of a slot's number
  std::vector<Slot> slots_;  // a power of two of them, at least 64, or none
  std::vector<std::uint64_t> used_;
  std::size_t size_ = 0;
};

}  // namespace qv
