// The fleet as the page shows it, between reading it (page_data.cpp) and
// writing it as JSON (page_json.cpp). Hosts are numbered by their place in
// `hosts`, which is by name; every list is in the order it is written in.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "page_data.h"

namespace qv {

using Text = std::optional<std::string>;  // a value that may be null

struct ChangeCounts {
  std::int64_t added = 0;
  std::int64_t removed = 0;
  std::int64_t changed = 0;
};

struct PageHost {
  std::string name;
  std::string last_seen;
  std::string os;
  std::int64_t devices = 0;
  std::int64_t no_driver = 0;
  std::vector<std::size_t> snapshots;  // places in PageFleet::snapshots, oldest first
  std::vector<std::size_t> states;     // places in PageFleet::states, by instance id
};

struct PageSnapshot {
  std::string taken_at;
  std::int64_t devices = 0;
  ChangeCounts counts;  // against the host's snapshot before
  Text differences;     // qvdiff's lines against it; none for a host's first, or left out
  // The description of each device its differences head, in their order, from the
  // report it stands in: the older for a removed device, else the newer.
  std::vector<Text> descriptions;
};

struct PageVersion {
  std::string version;
  Text date;
  Text inf;                        // as `drivers` names it: one name, or how many
  bool behind = false;             // older by its numbers than the newest any host runs
  std::vector<std::size_t> hosts;  // ascending
};

// A driver as `drivers` groups it: its provider and description.
struct PageDriver {
  Text provider;
  std::string description;
  std::vector<PageVersion> versions;  // newest first
  std::set<std::string> matching_ids;
  std::size_t hosts = 0;  // distinct hosts over its versions
};

// A device as the host details show it; what is equal is shown once.
// id, description, version, provider, INF, class
using DeviceText = std::tuple<std::string, std::string, Text, Text, Text, Text>;

struct NoDriverGroup {
  std::string description;
  Text hardware_id;
  std::vector<std::size_t> hosts;  // ascending
};

struct PageFleet {
  std::string title;
  Text newest;
  std::int64_t snapshot_count = 0;
  std::int64_t no_driver = 0;
  std::vector<PageHost> hosts;
  std::vector<PageSnapshot> snapshots;
  std::vector<PageDriver> drivers;
  std::vector<DeviceText> states;
  std::vector<std::set<std::string>>
      state_ids;  // by place in `states`: hardware and compatible ids
  bool details = true;
  bool ids = true;                  // the devices' ids, which the hosts filter finds by
  std::string changes_left_out_to;  // the newest snapshot whose changes were left out
  std::string details_left_out;     // what the budget left out, and why
  std::map<std::string, ChangeCounts> days;
  std::vector<NoDriverGroup> no_driver_groups;
};

// Whole days from `then` to `now`, both as the index writes times; 0 when
// either is not such a time.
[[nodiscard]] std::int64_t days_between(std::string_view then, std::string_view now);

// How much of `id` the page's script takes from the id before it: whole
// characters of their common beginning, in UTF-16 units as a script counts them,
// and in bytes. Nothing for a text that is not UTF-8.
[[nodiscard]] std::pair<std::size_t, std::size_t> shared_beginning(std::string_view before,
                                                                   std::string_view id);

[[nodiscard]] std::string page_json(const PageFleet& fleet);

struct FittedData {
  std::string json;
  std::string packed;  // as the page holds it (page_pack.h)
};

// The page's data within `budget` where it can be: what it leaves out, a step at a
// time, goes in `fleet`, and its `details_left_out` says what and why. A failure is
// zlib's sentence.
[[nodiscard]] std::expected<FittedData, std::string> fit_budget(PageFleet& fleet,
                                                                const PageBudget& budget);

}  // namespace qv
