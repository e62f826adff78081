// How a page that would pass its budget is made to fit it (read_page_data).
#include <algorithm>
#include <tuple>

#include "json_text.h"
#include "page_fleet.h"

namespace qv {
namespace {

// Bytes in MB with one decimal, the same on every system.
std::string megabytes(std::size_t bytes) {
  const std::size_t tenths = (bytes + 50'000) / 100'000;
  return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

// The page's size without any pair's changes; their texts are given back.
std::size_t size_without_changes(PageFleet& fleet) {
  std::vector<Text> kept;
  kept.reserve(fleet.snapshots.size());
  for (PageSnapshot& snapshot : fleet.snapshots) kept.push_back(std::move(snapshot.differences));
  for (PageSnapshot& snapshot : fleet.snapshots) snapshot.differences.reset();
  const std::size_t size = page_json(fleet).size();
  for (std::size_t i = 0; i < kept.size(); ++i) fleet.snapshots[i].differences = std::move(kept[i]);
  return size;
}

// Leaves out the changes of the oldest pairs of snapshots first, as many as the page
// is over its budget; returns how many.
std::size_t leave_out_oldest_changes(PageFleet& fleet, std::size_t budget, std::string& json) {
  std::vector<std::size_t> order;
  for (std::size_t i = 0; i < fleet.snapshots.size(); ++i) {
    if (fleet.snapshots[i].differences && !fleet.snapshots[i].differences->empty()) {
      order.push_back(i);
    }
  }
  std::ranges::sort(order, [&](std::size_t a, std::size_t b) {
    return std::tie(fleet.snapshots[a].taken_at, a) < std::tie(fleet.snapshots[b].taken_at, b);
  });
  std::size_t left_out = 0;
  while (json.size() > budget && left_out < order.size()) {
    for (std::size_t freed = 0; left_out < order.size() && freed < json.size() - budget;
         ++left_out) {
      Text& differences = fleet.snapshots[order[left_out]].differences;
      // As the page writes it: escapes make an instance id's text up to six times longer.
      std::string written;
      append_json_string(written, *differences);
      freed += written.size();
      differences.reset();
    }
    json = page_json(fleet);
  }
  if (left_out > 0) fleet.changes_left_out_to = fleet.snapshots[order[left_out - 1]].taken_at;
  return left_out;
}

}  // namespace

// Leaves out what the budget cannot hold a step at a time, and says what went: the
// devices' ids that the hosts filter finds hosts by when even without any change
// the page would pass it; then the changes of the oldest pairs of snapshots; and
// the devices and snapshots of every host only when that is not enough.
std::string fit_budget(PageFleet& fleet, std::size_t budget) {
  std::string json = page_json(fleet);
  const std::size_t whole = json.size();
  if (whole <= budget) return json;
  std::vector<std::string> said;
  if (size_without_changes(fleet) > budget) {
    fleet.ids = false;
    said.emplace_back(
        "the hardware and compatible ids of the hosts' devices, which the hosts "
        "filter finds hosts by");
    json = page_json(fleet);
  }
  if (const std::size_t pairs = leave_out_oldest_changes(fleet, budget, json); pairs > 0) {
    said.push_back("the changes of the oldest " +
                   (pairs == 1 ? std::string("pair") : std::to_string(pairs) + " pairs") +
                   " of snapshots, up to one taken at " + fleet.changes_left_out_to);
  }
  if (json.size() > budget) {
    fleet.details = false;
    said.emplace_back("the devices and snapshots of each host");
  }
  std::string text = "Left out, in this order: ";
  for (std::size_t i = 0; i < said.size(); ++i) text += (i == 0 ? "" : "; ") + said[i];
  fleet.details_left_out = text + ". With them the page would be " + megabytes(whole) +
                           " MB, over its budget of " + megabytes(budget) + " MB.";
  return page_json(fleet);
}

}  // namespace qv
