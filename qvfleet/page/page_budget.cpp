// How a page that would pass its budget is made to fit it (read_page_data). Each
// try is measured as the page holds it, packed: the changes of the oldest pairs of
// snapshots are left out as many as the bytes over seem to need, by what packing
// made of the last ones left out, and measured again.
#include <algorithm>
#include <tuple>

#include "json_text.h"
#include "page_fleet.h"
#include "page_pack.h"

namespace qv {
namespace {

// Bytes in MB with one decimal, the same on every system.
std::string megabytes(std::size_t bytes) {
  const std::size_t tenths = (bytes + 50'000) / 100'000;
  return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

std::expected<FittedData, std::string> measure(const PageFleet& fleet) {
  FittedData data{.json = page_json(fleet), .packed = {}};
  auto packed = pack_data(data.json);
  if (!packed) return std::unexpected(packed.error());
  data.packed = std::move(*packed);
  return data;
}

bool over(const FittedData& data, const PageBudget& budget) {
  return data.packed.size() > budget.packed || data.json.size() > budget.opened;
}

// The bytes of JSON to leave out for `data` to fit, when each byte left out takes
// `ratio` bytes off the packed data; a little more, so that the next try is the last.
std::size_t json_over(const FittedData& data, const PageBudget& budget, double ratio) {
  std::size_t over = data.json.size() > budget.opened ? data.json.size() - budget.opened : 0;
  if (data.packed.size() > budget.packed) {
    const double packed_over = static_cast<double>(data.packed.size() - budget.packed);
    over = std::max(over, static_cast<std::size_t>(packed_over / ratio * 1.02) + 1);
  }
  return over;
}

// The pairs whose changes the page holds, oldest first.
std::vector<std::size_t> pairs_oldest_first(const PageFleet& fleet) {
  std::vector<std::size_t> order;
  for (std::size_t i = 0; i < fleet.snapshots.size(); ++i) {
    if (fleet.snapshots[i].differences && !fleet.snapshots[i].differences->empty()) {
      order.push_back(i);
    }
  }
  std::ranges::sort(order, [&](std::size_t a, std::size_t b) {
    return std::tie(fleet.snapshots[a].taken_at, a) < std::tie(fleet.snapshots[b].taken_at, b);
  });
  return order;
}

// Leaves out the changes of the oldest pairs of snapshots first, as many as the page
// is over its budget; returns how many.
std::expected<std::size_t, std::string> leave_out_oldest_changes(PageFleet& fleet,
                                                                 const PageBudget& budget,
                                                                 FittedData& data) {
  const std::vector<std::size_t> order = pairs_oldest_first(fleet);
  double ratio = static_cast<double>(data.packed.size()) / static_cast<double>(data.json.size());
  std::size_t left_out = 0;
  for (int tries = 0; over(data, budget) && left_out < order.size(); ++tries) {
    // Each try leaves out one pair at least; after a few, twice as many as the
    // bytes seem to need, so that even a poor guess ends in a few more.
    if (tries >= 3) ratio /= 2;
    const std::size_t needed = json_over(data, budget, ratio);
    for (std::size_t freed = 0; left_out < order.size() && freed < needed; ++left_out) {
      PageSnapshot& snapshot = fleet.snapshots[order[left_out]];
      // As the page writes it: escapes make an instance id's text up to six times
      // longer; each description's place takes a few digits and a comma.
      std::string written;
      append_json_string(written, *snapshot.differences);
      freed += written.size() + 5 * snapshot.descriptions.size();
      snapshot.differences.reset();
    }
    auto next = measure(fleet);
    if (!next) return std::unexpected(next.error());
    if (next->json.size() < data.json.size() && next->packed.size() < data.packed.size()) {
      ratio = static_cast<double>(data.packed.size() - next->packed.size()) /
              static_cast<double>(data.json.size() - next->json.size());
    }
    data = std::move(*next);
  }
  if (left_out > 0) fleet.changes_left_out_to = fleet.snapshots[order[left_out - 1]].taken_at;
  return left_out;
}

// The bound the whole data passes, as the overview tells it.
std::string passed(const FittedData& whole, const PageBudget& budget) {
  if (whole.packed.size() > budget.packed) {
    return "With them the page would be " + megabytes(whole.packed.size()) +
           " MB, over its budget of " + megabytes(budget.packed) + " MB.";
  }
  return "With them the page's data would be " + megabytes(whole.json.size()) +
         " MB once opened, over its budget of " + megabytes(budget.opened) + " MB.";
}

}  // namespace

// Leaves out what the budget cannot hold a step at a time, and says what went: the
// changes of the oldest pairs of snapshots, newest kept; then the devices' ids that
// the hosts filter finds hosts by; and the devices and snapshots of every host only
// when that is not enough.
std::expected<FittedData, std::string> fit_budget(PageFleet& fleet, const PageBudget& budget) {
  auto data = measure(fleet);
  if (!data || !over(*data, budget)) return data;
  const FittedData whole = *data;
  std::vector<std::string> said;
  auto pairs = leave_out_oldest_changes(fleet, budget, *data);
  if (!pairs) return std::unexpected(pairs.error());
  if (*pairs > 0) {
    said.push_back("the changes of the oldest " +
                   (*pairs == 1 ? std::string("pair") : std::to_string(*pairs) + " pairs") +
                   " of snapshots, up to one taken at " + fleet.changes_left_out_to);
  }
  if (over(*data, budget)) {
    fleet.ids = false;
    said.emplace_back(
        "the hardware and compatible ids of the hosts' devices, which the hosts filter finds "
        "hosts by");
    data = measure(fleet);
    if (!data) return data;
  }
  if (over(*data, budget)) {
    fleet.details = false;
    said.emplace_back("the devices and snapshots of each host");
  }
  std::string text = "Left out, in this order: ";
  for (std::size_t i = 0; i < said.size(); ++i) text += (i == 0 ? "" : "; ") + said[i];
  fleet.details_left_out = text + ". " + passed(whole, budget);
  return measure(fleet);
}

}  // namespace qv
