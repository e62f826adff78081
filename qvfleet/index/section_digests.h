// The digests of the section texts met earlier in a run, by their exact bytes.
// Most of a fleet's device sections are word for word those of other machines,
// so a text met again costs a fast hash and a comparison instead of a SHA-256.
// Shared by the threads that prepare reports. It keeps texts until they fill a
// budget of bytes and then only computes; either way the digest it gives is
// section_digest(text), since a text is found only by comparing its bytes.
//
//   SectionDigests known;  // one for the run, used from any thread
//   const SectionDigest digest = known.digest(section.text);
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "prepared_report.h"

namespace qv {

// A fast hash of the bytes, good for a table and nothing more: it can be made
// to collide, and the table never takes it for proof.
[[nodiscard]] std::uint64_t text_hash(std::string_view bytes);

class SectionDigests {
 public:
  using Hash = std::uint64_t (*)(std::string_view);
  // Measured on a generated fleet of 10,000 machines, with 65 MB of distinct
  // section texts: the first 16 MiB of them make about 98% of the hits that
  // keeping every text would.
  static constexpr std::size_t kBudget = std::size_t{16} << 20;

  explicit SectionDigests(std::size_t budget = kBudget, Hash hash = text_hash);
  ~SectionDigests();
  SectionDigests(const SectionDigests&) = delete;
  SectionDigests& operator=(const SectionDigests&) = delete;

  // Keeps the text, within the budget. prepare_report takes a text held as a
  // section read soundly, and so gives it only the sections of reports it read
  // whole.
  [[nodiscard]] SectionDigest digest(std::string_view text);
  // The digest of each text it holds, in their order, and none for the others:
  // those met for the first time in the run, and those beyond its budget. It
  // keeps none of them; digest does.
  [[nodiscard]] std::vector<std::optional<SectionDigest>> held(
      std::span<const std::string_view> texts);
  // How many texts it holds, and the bytes they and their tables take.
  [[nodiscard]] std::size_t texts() const;
  [[nodiscard]] std::size_t held_bytes() const { return held_.load(std::memory_order_relaxed); }

 private:
  class Arena;
  class Stripe;
  [[nodiscard]] SectionDigest digest(std::string_view text, std::uint64_t hash);
  void prefetch(std::uint64_t hash) const;
  [[nodiscard]] bool reserve(std::size_t bytes);

  std::size_t budget_;
  Hash hash_;
  std::atomic<std::size_t> held_{0};
  std::unique_ptr<Arena> arena_;
  std::unique_ptr<Stripe[]> stripes_;
};

}  // namespace qv
