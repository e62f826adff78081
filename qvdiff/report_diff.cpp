#include "report_diff.h"

#include <algorithm>
#include <array>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

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

// One side of a device comparison: a device of a report, or none.
struct Side {
  const ReportView* report = nullptr;
  const DeviceView* device = nullptr;

  [[nodiscard]] std::span<const std::string_view> entries(IdRange DeviceView::*list) const {
    if (device == nullptr) return {};
    return report->entries(device->*list);
  }
};

// The keys with at most one line, in report order; the identifier lists come
// between the second and the third.
constexpr std::array<std::string_view, 8> kSingleKeys = {
    "description",     "class_guid", "driver_ver", "driver_desc",
    "driver_provider", "driver_inf", "driver_ext", "driver_matching_id"};
constexpr std::size_t kBeforeLists = 2;

using Single = std::optional<std::string_view>;

std::array<Single, kSingleKeys.size()> singles(const DeviceView* device) {
  std::array<Single, kSingleKeys.size()> values{};
  if (device == nullptr) return values;
  values[0] = device->description;
  values[1] = device->class_guid;
  if (const auto& driver = device->driver) {
    values[2] = driver->identity_text;
    values[3] = driver->description;
    values[4] = driver->provider;
    values[5] = driver->inf_path;
    values[6] = driver->inf_section_ext;
    values[7] = driver->matching_device_id;
  }
  return values;
}

// The entries of `from` that `other` lacks, repeats counted, in `from`'s order.
std::vector<std::string_view> missing_from(std::span<const std::string_view> from,
                                           std::span<const std::string_view> other) {
  std::unordered_map<std::string_view, std::size_t> counts;
  for (const std::string_view entry : other) ++counts[entry];
  std::vector<std::string_view> missing;
  for (const std::string_view entry : from) {
    const auto at = counts.find(entry);
    if (at != counts.end() && at->second > 0) {
      --at->second;
    } else {
      missing.push_back(entry);
    }
  }
  return missing;
}

void print_list(Printer& out, std::string_view key, std::span<const std::string_view> old_list,
                std::span<const std::string_view> new_list) {
  if (std::ranges::equal(old_list, new_list)) return;
  std::vector<std::string_view> removed = missing_from(old_list, new_list);
  std::vector<std::string_view> added = missing_from(new_list, old_list);
  if (removed.empty() && added.empty()) {  // the same entries in another order
    removed.assign(old_list.begin(), old_list.end());
    added.assign(new_list.begin(), new_list.end());
  }
  for (const std::string_view entry : removed) out.fact("old", key, entry);
  for (const std::string_view entry : added) out.fact("new", key, entry);
}

// Every fact that differs between the sides; against no device, every fact.
void print_facts(Printer& out, const Side& old_side, const Side& new_side) {
  const auto old_values = singles(old_side.device);
  const auto new_values = singles(new_side.device);
  for (std::size_t i = 0; i < kSingleKeys.size(); ++i) {
    if (i == kBeforeLists) {
      print_list(out, "hwid", old_side.entries(&DeviceView::hardware_ids),
                 new_side.entries(&DeviceView::hardware_ids));
      print_list(out, "cid", old_side.entries(&DeviceView::compatible_ids),
                 new_side.entries(&DeviceView::compatible_ids));
    }
    if (old_values[i] == new_values[i]) continue;
    if (old_values[i]) out.fact("old", kSingleKeys[i], *old_values[i]);
    if (new_values[i]) out.fact("new", kSingleKeys[i], *new_values[i]);
  }
}

bool same_device(const Side& a, const Side& b) {
  return a.device->description == b.device->description &&
         a.device->class_guid == b.device->class_guid && a.device->driver == b.device->driver &&
         std::ranges::equal(a.entries(&DeviceView::hardware_ids),
                            b.entries(&DeviceView::hardware_ids)) &&
         std::ranges::equal(a.entries(&DeviceView::compatible_ids),
                            b.entries(&DeviceView::compatible_ids));
}

void print_host(Printer& out, const ReportView& old_report, const ReportView& new_report) {
  constexpr std::array<std::string_view, 4> keys = {"host", "os", "arch", "server"};
  const std::array<std::string_view, 4> old_values = {
      old_report.host, old_report.os, old_report.arch, old_report.server ? "1" : "0"};
  const std::array<std::string_view, 4> new_values = {
      new_report.host, new_report.os, new_report.arch, new_report.server ? "1" : "0"};
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if (old_values[i] == new_values[i]) continue;
    out.fact("old", keys[i], old_values[i]);
    out.fact("new", keys[i], new_values[i]);
  }
}

bool by_instance_id(const Side& a, const Side& b) {
  return a.device->instance_id < b.device->instance_id;
}

// The devices of each group, sorted by instance id.
struct Groups {
  std::vector<Side> removed;
  std::vector<Side> added;
  std::vector<std::pair<Side, Side>> changed;
};

Groups group_devices(const ReportView& old_report, const ReportView& new_report) {
  std::unordered_map<std::string_view, std::size_t> old_index;
  old_index.reserve(old_report.devices.size());
  for (std::size_t i = 0; i < old_report.devices.size(); ++i) {
    old_index.emplace(old_report.devices[i].instance_id, i);
  }
  Groups groups;
  std::vector<bool> matched(old_report.devices.size());
  for (const DeviceView& device : new_report.devices) {
    const Side new_side{&new_report, &device};
    const auto at = old_index.find(device.instance_id);
    if (at == old_index.end()) {
      groups.added.push_back(new_side);
      continue;
    }
    matched[at->second] = true;
    const Side old_side{&old_report, &old_report.devices[at->second]};
    if (!same_device(old_side, new_side)) groups.changed.emplace_back(old_side, new_side);
  }
  for (std::size_t i = 0; i < old_report.devices.size(); ++i) {
    if (!matched[i]) groups.removed.push_back(Side{&old_report, &old_report.devices[i]});
  }
  std::ranges::sort(groups.removed, by_instance_id);
  std::ranges::sort(groups.added, by_instance_id);
  std::ranges::sort(groups.changed, by_instance_id, &std::pair<Side, Side>::second);
  return groups;
}

}  // namespace

Comparison compare_reports(const ReportView& old_report, const ReportView& new_report,
                           const TextSink& sink) {
  Printer out(sink);
  print_host(out, old_report, new_report);
  const Groups groups = group_devices(old_report, new_report);
  for (const Side& device : groups.removed) {
    if (!out.ok()) break;
    out.heading("removed", device.device->instance_id);
    print_facts(out, device, Side{});
  }
  for (const Side& device : groups.added) {
    if (!out.ok()) break;
    out.heading("added", device.device->instance_id);
    print_facts(out, Side{}, device);
  }
  for (const auto& [old_side, new_side] : groups.changed) {
    if (!out.ok()) break;
    out.heading("changed", new_side.device->instance_id);
    print_facts(out, old_side, new_side);
  }
  const bool differ = out.wrote();
  if (!out.finish()) return Comparison::write_failed;
  return differ ? Comparison::differ : Comparison::same;
}

}  // namespace qv
