#include "report_diff.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "report_format.h"

namespace qv {
namespace {

constexpr std::size_t kLabelWidth = 10;
// Output leaves in pieces of about this size, so that a long difference is
// never held whole.
constexpr std::size_t kFlushSize = 64 * 1024;

class Printer {
 public:
  explicit Printer(const TextSink& sink) : sink_(sink) {}

  void fact(std::string_view label, std::string_view key, std::string_view value) {
    start(label);
    buffer_.append(key).append(1, '=').append(value);
    end();
  }
  void heading(std::string_view label, std::string_view instance_id) {
    start(label);
    buffer_.append(instance_id);
    end();
  }
  [[nodiscard]] bool ok() const { return ok_; }
  [[nodiscard]] bool wrote() const { return wrote_; }
  [[nodiscard]] bool finish() {
    flush();
    return ok_;
  }

 private:
  void start(std::string_view label) {
    wrote_ = true;
    buffer_.append(label).append(kLabelWidth - label.size(), ' ');
  }
  void end() {
    buffer_.push_back('\n');
    if (buffer_.size() >= kFlushSize) flush();
  }
  void flush() {
    if (ok_ && !buffer_.empty()) ok_ = sink_(buffer_);
    buffer_.clear();
  }

  const TextSink& sink_;
  std::string buffer_;
  bool ok_ = true;
  bool wrote_ = false;
};

using Entries = std::span<const Field>;

// The entries of `from` that `other` lacks, repeats counted, in `from`'s order.
std::vector<std::string_view> missing_from(Entries from, Entries other) {
  std::unordered_map<std::string_view, std::size_t> counts;
  for (const Field& entry : other) ++counts[entry.value];
  std::vector<std::string_view> missing;
  for (const Field& entry : from) {
    const auto at = counts.find(entry.value);
    if (at != counts.end() && at->second > 0) {
      --at->second;
    } else {
      missing.push_back(entry.value);
    }
  }
  return missing;
}

std::vector<std::string_view> values_of(Entries entries) {
  std::vector<std::string_view> values;
  for (const Field& entry : entries) values.push_back(entry.value);
  return values;
}

void print_list(Printer& out, std::string_view key, Entries old_list, Entries new_list) {
  if (std::ranges::equal(old_list, new_list)) return;
  std::vector<std::string_view> removed = missing_from(old_list, new_list);
  std::vector<std::string_view> added = missing_from(new_list, old_list);
  if (removed.empty() && added.empty()) {  // the same entries in another order
    removed = values_of(old_list);
    added = values_of(new_list);
  }
  for (const std::string_view entry : removed) out.fact("old", key, entry);
  for (const std::string_view entry : added) out.fact("new", key, entry);
}

Entries lines_of(const SectionFields* device, Key key) {
  if (device == nullptr) return {};
  return device->lines(key);
}

// Every fact that differs between the devices, in the format's order of keys;
// against none, every fact. The instance id is the heading's.
void print_facts(Printer& out, const SectionFields* old_device, const SectionFields* new_device) {
  for (const SectionKey& key : kSectionKeys) {
    if (key.key == Key::instance_id) continue;
    const Entries old_lines = lines_of(old_device, key.key);
    const Entries new_lines = lines_of(new_device, key.key);
    if (key.repeats) {
      print_list(out, key.name, old_lines, new_lines);
      continue;
    }
    if (std::ranges::equal(old_lines, new_lines)) continue;
    for (const Field& line : old_lines) out.fact("old", key.name, line.value);
    for (const Field& line : new_lines) out.fact("new", key.name, line.value);
  }
}

void print_host(Printer& out, const ReportView& old_report, const ReportView& new_report) {
  const std::array<std::string_view, kHeaderKeys.size()> old_values = {
      old_report.host, old_report.os, old_report.arch, old_report.server ? "1" : "0"};
  const std::array<std::string_view, kHeaderKeys.size()> new_values = {
      new_report.host, new_report.os, new_report.arch, new_report.server ? "1" : "0"};
  for (std::size_t i = 0; i < kHeaderKeys.size(); ++i) {
    if (old_values[i] == new_values[i]) continue;
    out.fact("old", kHeaderKeys[i], old_values[i]);
    out.fact("new", kHeaderKeys[i], new_values[i]);
  }
}

// A device of both reports whose sections differ.
struct Changed {
  const SectionView* old_section;
  const SectionView* new_section;
};

// Each group sorted by instance id; devices with the same id keep their order.
struct Groups {
  std::vector<const SectionView*> removed;
  std::vector<const SectionView*> added;
  std::vector<Changed> changed;
};

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

std::uint64_t id_hash(std::string_view id) {
  constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15;
  std::uint64_t hash = 0x243F6A8885A308D3 ^ id.size();
  std::size_t at = 0;
  for (; at + 8 <= id.size(); at += 8) {
    std::uint64_t word;
    std::memcpy(&word, id.data() + at, sizeof word);
    hash = (hash ^ word) * kMultiplier;
    hash ^= hash >> 29;
  }
  std::uint64_t tail = 0;
  std::memcpy(&tail, id.data() + at, id.size() - at);
  hash = (hash ^ tail) * kMultiplier;
  return hash ^ (hash >> 32);
}

// OLD's instance ids, each with a number kept for it: open addressing in a table
// at least twice the size of the list, each slot holding the id's hash, so that
// a probe compares text only for a likely match. An id's text is that of a
// device in OLD, named by its index.
class IdTable {
 public:
  explicit IdTable(std::span<const SectionView> sections)
      : sections_(sections), slots_(std::bit_ceil(sections.size() * 2 + 2)) {}

  // The number kept for `id`, and whether the id was new to the table (its
  // number then `value`).
  std::pair<std::size_t&, bool> emplace(std::string_view id, std::size_t device,
                                        std::size_t value) {
    Slot& slot = probe(id, id_hash(id));
    if (slot.device != kNone) return {slot.value, false};
    slot.device = device;
    slot.value = value;
    return {slot.value, true};
  }
  // The number kept for `id`, or null for an id that OLD lacks.
  std::size_t* find(std::string_view id) {
    Slot& slot = probe(id, id_hash(id));
    return slot.device == kNone ? nullptr : &slot.value;
  }

 private:
  struct Slot {
    std::uint64_t hash = 0;
    std::size_t device = kNone;
    std::size_t value = kNone;
  };
  // The slot of `id`, or the empty slot where it would go.
  Slot& probe(std::string_view id, std::uint64_t hash) {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
      Slot& slot = slots_[at];
      if (slot.device == kNone) slot.hash = hash;
      if (slot.device == kNone || (slot.hash == hash && sections_[slot.device].instance_id == id)) {
        return slot;
      }
    }
  }

  std::span<const SectionView> sections_;
  std::vector<Slot> slots_;
};

// Pairs the devices by instance id. An id that stands more than once is paired
// in order of appearance: the second in OLD with the second in NEW; a device
// left over on either side is removed or added.
Groups group_devices(const ReportView& old_report, const ReportView& new_report) {
  const auto& old_sections = old_report.sections;
  // For each id its first unpaired device in OLD; for each device the next with its id.
  IdTable first_unpaired(old_sections);
  std::vector<std::size_t> next_same(old_sections.size(), kNone);
  for (std::size_t i = old_sections.size(); i-- > 0;) {
    const auto [first, added] = first_unpaired.emplace(old_sections[i].instance_id, i, i);
    if (!added) {
      next_same[i] = first;
      first = i;
    }
  }
  Groups groups;
  std::vector<bool> paired(old_sections.size());
  for (const SectionView& section : new_report.sections) {
    std::size_t* const first = first_unpaired.find(section.instance_id);
    if (first == nullptr || *first == kNone) {
      groups.added.push_back(&section);
      continue;
    }
    const std::size_t old_index = *first;
    *first = next_same[old_index];
    paired[old_index] = true;
    // The usual case: the same text, not even read.
    if (old_sections[old_index].text != section.text) {
      groups.changed.push_back({&old_sections[old_index], &section});
    }
  }
  for (std::size_t i = 0; i < old_sections.size(); ++i) {
    if (!paired[i]) groups.removed.push_back(&old_sections[i]);
  }
  // Sections of one report lie in order of appearance in their list, so the
  // address is the order among devices with the same id.
  const auto by_instance_id = [](const SectionView* a, const SectionView* b) {
    return std::tie(a->instance_id, a) < std::tie(b->instance_id, b);
  };
  std::ranges::sort(groups.removed, by_instance_id);
  std::ranges::sort(groups.added, by_instance_id);
  std::ranges::sort(groups.changed, by_instance_id, &Changed::new_section);
  return groups;
}

}  // namespace

std::expected<Comparison, ReportError> compare_reports(const ReportView& old_report,
                                                       const ReportView& new_report,
                                                       const TextSink& sink) {
  Printer out(sink);
  print_host(out, old_report, new_report);
  const Groups groups = group_devices(old_report, new_report);
  // Sections from parse_report read again without fault; should one not, its
  // error is the outcome.
  const auto fields_of = [](const SectionView& section) { return read_section(section); };
  for (const SectionView* section : groups.removed) {
    if (!out.ok()) break;
    const auto device = fields_of(*section);
    if (!device) return std::unexpected(device.error());
    out.heading("removed", section->instance_id);
    print_facts(out, &*device, nullptr);
  }
  for (const SectionView* section : groups.added) {
    if (!out.ok()) break;
    const auto device = fields_of(*section);
    if (!device) return std::unexpected(device.error());
    out.heading("added", section->instance_id);
    print_facts(out, nullptr, &*device);
  }
  for (const auto& [old_section, new_section] : groups.changed) {
    if (!out.ok()) break;
    const auto old_device = fields_of(*old_section);
    if (!old_device) return std::unexpected(old_device.error());
    const auto new_device = fields_of(*new_section);
    if (!new_device) return std::unexpected(new_device.error());
    // Texts that differ only in their line ends hold the same facts.
    if (*old_device == *new_device) continue;
    out.heading("changed", new_section->instance_id);
    print_facts(out, &*old_device, &*new_device);
  }
  const bool differ = out.wrote();
  if (!out.finish()) return Comparison::write_failed;
  return differ ? Comparison::differ : Comparison::same;
}

}  // namespace qv
