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

std::span<const std::string_view> entries(const DeviceView* device,
                                          std::vector<std::string_view> DeviceView::*list) {
  if (device == nullptr) return {};
  return device->*list;
}

// Every fact that differs between the devices; against none, every fact.
void print_facts(Printer& out, const DeviceView* old_device, const DeviceView* new_device) {
  const auto old_values = singles(old_device);
  const auto new_values = singles(new_device);
  for (std::size_t i = 0; i < kSingleKeys.size(); ++i) {
    if (i == kBeforeLists) {
      print_list(out, "hwid", entries(old_device, &DeviceView::hardware_ids),
                 entries(new_device, &DeviceView::hardware_ids));
      print_list(out, "cid", entries(old_device, &DeviceView::compatible_ids),
                 entries(new_device, &DeviceView::compatible_ids));
    }
    if (old_values[i] == new_values[i]) continue;
    if (old_values[i]) out.fact("old", kSingleKeys[i], *old_values[i]);
    if (new_values[i]) out.fact("new", kSingleKeys[i], *new_values[i]);
  }
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

// Each group sorted by instance id; changed devices as old and new fields.
struct Groups {
  std::vector<const SectionView*> removed;
  std::vector<const SectionView*> added;
  std::vector<std::pair<DeviceView, DeviceView>> changed;
};

Groups group_devices(const ReportView& old_report, const ReportView& new_report) {
  std::unordered_map<std::string_view, std::size_t> old_index;
  old_index.reserve(old_report.devices.size());
  for (std::size_t i = 0; i < old_report.devices.size(); ++i) {
    old_index.emplace(old_report.devices[i].instance_id, i);
  }
  Groups groups;
  std::vector<bool> matched(old_report.devices.size());
  for (const SectionView& section : new_report.devices) {
    const auto at = old_index.find(section.instance_id);
    if (at == old_index.end()) {
      groups.added.push_back(&section);
      continue;
    }
    matched[at->second] = true;
    const SectionView& old_section = old_report.devices[at->second];
    if (old_section.text == section.text) continue;  // the usual case: not even read
    DeviceView old_device = device_of(old_section);
    DeviceView new_device = device_of(section);
    if (old_device != new_device)
      groups.changed.emplace_back(std::move(old_device), std::move(new_device));
  }
  for (std::size_t i = 0; i < old_report.devices.size(); ++i) {
    if (!matched[i]) groups.removed.push_back(&old_report.devices[i]);
  }
  const auto by_instance_id = [](const SectionView* a, const SectionView* b) {
    return a->instance_id < b->instance_id;
  };
  std::ranges::sort(groups.removed, by_instance_id);
  std::ranges::sort(groups.added, by_instance_id);
  std::ranges::sort(groups.changed, {}, [](const auto& pair) { return pair.second.instance_id; });
  return groups;
}

}  // namespace

Comparison compare_reports(const ReportView& old_report, const ReportView& new_report,
                           const TextSink& sink) {
  Printer out(sink);
  print_host(out, old_report, new_report);
  const Groups groups = group_devices(old_report, new_report);
  for (const SectionView* section : groups.removed) {
    if (!out.ok()) break;
    out.heading("removed", section->instance_id);
    const DeviceView device = device_of(*section);
    print_facts(out, &device, nullptr);
  }
  for (const SectionView* section : groups.added) {
    if (!out.ok()) break;
    out.heading("added", section->instance_id);
    const DeviceView device = device_of(*section);
    print_facts(out, nullptr, &device);
  }
  for (const auto& [old_device, new_device] : groups.changed) {
    if (!out.ok()) break;
    out.heading("changed", new_device.instance_id);
    print_facts(out, &old_device, &new_device);
  }
  const bool differ = out.wrote();
  if (!out.finish()) return Comparison::write_failed;
  return differ ? Comparison::differ : Comparison::same;
}

}  // namespace qv
