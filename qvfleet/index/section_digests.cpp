#include "section_digests.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace qv {
namespace {

constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15;

std::uint64_t word_at(const char* at, std::size_t size = 8) {
  std::uint64_t word = 0;
  std::memcpy(&word, at, size);
  return word;
}

std::uint64_t mixed(std::uint64_t lane, std::uint64_t word) {
  return std::rotl((lane ^ word) * kMultiplier, 31);
}

// Threads meet in a stripe only when their texts' hashes share the top bits.
constexpr int kStripeBits = 4;
// A text is looked for this far from its place and no further, so that texts
// made to share a hash cost a bounded search each, not one through them all.
constexpr std::size_t kProbes = 16;
constexpr std::size_t kFirstSlots = 64;
// Texts are kept in chunks of this size; longer ones are rare and not kept.
constexpr std::size_t kChunk = std::size_t{256} << 10;
constexpr std::size_t kLongest = kChunk / 4;

// A kept text: its digest, its size, then its bytes.
constexpr std::size_t kHeader = sizeof(SectionDigest) + sizeof(std::uint32_t);

struct Slot {
  std::uint64_t hash = 0;
  const char* kept = nullptr;  // none: the slot is free
};

bool holds(const Slot& slot, std::uint64_t hash, std::string_view text) {
  if (slot.hash != hash) return false;
  std::uint32_t size = 0;
  std::memcpy(&size, slot.kept + sizeof(SectionDigest), sizeof size);
  return size == text.size() &&
         (size == 0 || std::memcmp(slot.kept + kHeader, text.data(), size) == 0);
}

SectionDigest digest_kept(const Slot& slot) {
  SectionDigest digest;
  std::memcpy(digest.data(), slot.kept, digest.size());
  return digest;
}

}  // namespace

// Four lanes of eight bytes at a time, so that the multiplications overlap.
std::uint64_t text_hash(std::string_view bytes) {
  std::uint64_t lanes[4] = {bytes.size(), kMultiplier, ~std::uint64_t{0}, 1};
  const char* at = bytes.data();
  std::size_t left = bytes.size();
  for (; left >= 32; at += 32, left -= 32) {
    for (int lane = 0; lane < 4; ++lane) lanes[lane] = mixed(lanes[lane], word_at(at + 8 * lane));
  }
  for (int lane = 0; left > 0; ++lane, at += 8, left -= std::min<std::size_t>(left, 8)) {
    lanes[lane] = mixed(lanes[lane], word_at(at, std::min<std::size_t>(left, 8)));
  }
  std::uint64_t hash = mixed(mixed(mixed(lanes[0], lanes[1]), lanes[2]), lanes[3]);
  hash ^= hash >> 32;
  hash *= 0xD6E8FEB86659FD93;
  return hash ^ (hash >> 32);
}

// The kept texts in large chunks, in the order they came: the texts of one
// report lie together, and so are near each other when a later report has them.
class SectionDigests::Arena {
 public:
  const char* copy(const SectionDigest& digest, std::string_view text) {
    std::lock_guard lock(mutex_);
    const std::size_t size = kHeader + text.size();
    if (size > chunk_left_) {
      chunks_.push_back(std::make_unique_for_overwrite<char[]>(kChunk));
      chunk_at_ = chunks_.back().get();
      chunk_left_ = kChunk;
    }
    char* kept = chunk_at_;
    const auto text_size = static_cast<std::uint32_t>(text.size());
    std::memcpy(kept, digest.data(), digest.size());
    std::memcpy(kept + digest.size(), &text_size, sizeof text_size);
    if (!text.empty()) std::memcpy(kept + kHeader, text.data(), text.size());
    chunk_at_ += size;
    chunk_left_ -= size;
    return kept;
  }

 private:
  std::mutex mutex_;
  std::vector<std::unique_ptr<char[]>> chunks_;
  char* chunk_at_ = nullptr;
  std::size_t chunk_left_ = 0;
};

// One part of the table under one lock: open addressing over a power of two
// slots, never more than half of them used.
class SectionDigests::Stripe {
 public:
  std::optional<SectionDigest> find(std::uint64_t hash, std::string_view text) {
    std::lock_guard lock(mutex_);
    if (const Slot* slot = slot_of(hash, text); slot && slot->kept) return digest_kept(*slot);
    return std::nullopt;
  }

  void keep(SectionDigests& owner, std::uint64_t hash, std::string_view text,
            const SectionDigest& digest) {
    std::lock_guard lock(mutex_);
    if ((used_ + 1) * 2 > slots_.size() && !grow(owner)) return;
    Slot* slot = slot_of(hash, text);
    // Taken meanwhile by another thread, or too many texts share its place.
    if (!slot || slot->kept || !owner.reserve(kHeader + text.size())) return;
    *slot = {.hash = hash, .kept = owner.arena_->copy(digest, text)};
    ++used_;
  }

  std::size_t used() {
    std::lock_guard lock(mutex_);
    return used_;
  }

  // Brings the text's first slot near without the lock. The table and its size
  // may be read from either side of a growth: a prefetch is only a hint, and
  // one that points elsewhere does no harm.
  void prefetch(std::uint64_t hash) const {
    const Slot* table = table_.load(std::memory_order_relaxed);
    if (table) __builtin_prefetch(table + (hash & mask_.load(std::memory_order_relaxed)));
  }

 private:
  // The slot that holds the text, or the free one where it would go; none
  // when every slot within reach holds another text.
  Slot* slot_of(std::uint64_t hash, std::string_view text) {
    if (slots_.empty()) return nullptr;
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t probe = 0; probe < kProbes; ++probe) {
      Slot& slot = slots_[(hash + probe) & mask];
      if (!slot.kept || holds(slot, hash, text)) return &slot;
    }
    return nullptr;
  }

  bool grow(SectionDigests& owner) {
    const std::size_t size = slots_.empty() ? kFirstSlots : slots_.size() * 2;
    if (!owner.reserve((size - slots_.size()) * sizeof(Slot))) return false;
    std::vector<Slot> old = std::exchange(slots_, std::vector<Slot>(size));
    table_.store(slots_.data(), std::memory_order_relaxed);
    mask_.store(size - 1, std::memory_order_relaxed);
    used_ = 0;
    for (const Slot& kept : old) {
      if (!kept.kept) continue;
      // A text that no longer lands within reach is dropped; it is found no more.
      for (std::size_t probe = 0; probe < kProbes; ++probe) {
        Slot& slot = slots_[(kept.hash + probe) & (size - 1)];
        if (slot.kept) continue;
        slot = kept;
        ++used_;
        break;
      }
    }
    return true;
  }

  std::mutex mutex_;
  std::vector<Slot> slots_;
  std::size_t used_ = 0;
  std::atomic<const Slot*> table_{nullptr};  // slots_ for prefetch()
  std::atomic<std::size_t> mask_{0};
};

SectionDigests::SectionDigests(std::size_t budget, Hash hash)
    : budget_(budget),
      hash_(hash),
      arena_(std::make_unique<Arena>()),
      stripes_(std::make_unique<Stripe[]>(1 << kStripeBits)) {}

SectionDigests::~SectionDigests() = default;

SectionDigest SectionDigests::digest(std::string_view text) { return digest(text, hash_(text)); }

// The slots a few sections on are fetched while this one is looked up: the
// table is too large for the processor's caches, and waiting for each slot in
// turn costs more than the hash.
std::vector<std::optional<SectionDigest>> SectionDigests::held(
    std::span<const std::string_view> texts) {
  constexpr std::size_t kAhead = 4;
  std::vector<std::uint64_t> hashes;
  hashes.reserve(texts.size());
  for (const std::string_view text : texts) hashes.push_back(hash_(text));
  std::vector<std::optional<SectionDigest>> digests;
  digests.reserve(texts.size());
  for (std::size_t at = 0; at < std::min(kAhead, texts.size()); ++at) prefetch(hashes[at]);
  for (std::size_t at = 0; at < texts.size(); ++at) {
    if (at + kAhead < texts.size()) prefetch(hashes[at + kAhead]);
    digests.push_back(stripes_[hashes[at] >> (64 - kStripeBits)].find(hashes[at], texts[at]));
  }
  return digests;
}

void SectionDigests::prefetch(std::uint64_t hash) const {
  stripes_[hash >> (64 - kStripeBits)].prefetch(hash);
}

SectionDigest SectionDigests::digest(std::string_view text, std::uint64_t hash) {
  Stripe& stripe = stripes_[hash >> (64 - kStripeBits)];
  if (const auto found = stripe.find(hash, text)) return *found;
  const SectionDigest digest = section_digest(text);
  if (text.size() <= kLongest && held_bytes() + kHeader + text.size() <= budget_) {
    stripe.keep(*this, hash, text, digest);
  }
  return digest;
}

std::size_t SectionDigests::texts() const {
  std::size_t texts = 0;
  for (int stripe = 0; stripe < 1 << kStripeBits; ++stripe) texts += stripes_[stripe].used();
  return texts;
}

bool SectionDigests::reserve(std::size_t bytes) {
  std::size_t held = held_.load(std::memory_order_relaxed);
  do {
    if (held + bytes > budget_) return false;
  } while (!held_.compare_exchange_weak(held, held + bytes, std::memory_order_relaxed));
  return true;
}

}  // namespace qv
