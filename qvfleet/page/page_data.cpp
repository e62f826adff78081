#include "page_data.h"

#include <algorithm>
#include <unordered_map>
#include <utility>

#include "changes.h"
#include "driver_runs.h"
#include "page_fleet.h"

namespace qv {
namespace {

using Id = std::int64_t;

Text text_of(const Statement& row, int column) {
  const auto value = row.optional_text(column);
  return value ? Text(std::string(*value)) : std::nullopt;
}

// Runs one query over a table or a join and hands each row to `row`.
template <typename Row>
std::expected<void, std::string> each(Database& db, std::string_view sql, Row&& row) {
  auto statement = db.prepare(sql);
  if (!statement) return Failed(statement.error());
  return each_row(*statement, std::forward<Row>(row));
}

// The latest snapshot of every host, as `hosts` lists them.
constexpr std::string_view kLatest =
    "SELECT h.host_id, h.name, s.taken_at, r.os, r.devices, r.no_driver "
    "FROM latest_snapshot AS s JOIN host AS h ON h.host_id = s.host_id "
    "JOIN report AS r ON r.report_id = s.report_id ORDER BY h.name";

// Every snapshot of every host, in the order `changes` takes them.
constexpr std::string_view kSnapshots =
    "SELECT s.snapshot_id, s.host_id, s.taken_at, r.devices FROM snapshot AS s "
    "JOIN report AS r ON r.report_id = s.report_id ORDER BY s.host_id, s.mtime_ns, s.snapshot_id";

// The matching ids that `drivers TEXT` looks in, by the driver they matched.
constexpr std::string_view kMatchingIds =
    "SELECT DISTINCT d.provider, d.description, s.driver_matching_id FROM device_state AS s "
    "JOIN driver AS d ON d.driver_id = s.driver_id WHERE s.driver_matching_id IS NOT NULL";

constexpr std::string_view kLatestStates =
    "SELECT v.state_id, v.instance_id, v.description, v.driver_ver, v.driver_provider, "
    "v.driver_inf, v.class_guid, v.driver_id IS NULL, (SELECT i.value FROM device_id AS i WHERE "
    "i.state_id = v.state_id "
    "AND i.kind = 'hwid' ORDER BY i.position LIMIT 1) "
    "FROM device AS v WHERE v.state_id IN (SELECT rd.state_id FROM latest_snapshot AS s "
    "JOIN report_device AS rd ON rd.report_id = s.report_id)";

// The hardware and compatible ids of the latest snapshots' devices, which `find` looks in.
constexpr std::string_view kLatestIds =
    "SELECT i.state_id, i.value FROM device_id AS i WHERE i.kind IN ('hwid', 'cid') "
    "AND i.state_id IN (SELECT rd.state_id FROM latest_snapshot AS s "
    "JOIN report_device AS rd ON rd.report_id = s.report_id)";

constexpr std::string_view kLatestDevices =
    "SELECT s.host_id, rd.state_id, rd.copies FROM latest_snapshot AS s "
    "JOIN report_device AS rd ON rd.report_id = s.report_id";

// The description of a device that a change names, in the report it stands in.
constexpr std::string_view kDescription =
    "SELECT d.description FROM report_device AS rd JOIN device_state AS d "
    "ON d.state_id = rd.state_id WHERE rd.report_id = ?1 AND d.instance_id = ?2 "
    "ORDER BY d.state_id LIMIT 1";

// qvdiff's heading of a device, and the word the page calls it by.
struct Heading {
  std::string_view label;
  std::string_view kind;
  std::int64_t ChangeCounts::*count;
};
constexpr Heading kHeadings[] = {
    {"removed   ", "removed", &ChangeCounts::removed},
    {"added     ", "added", &ChangeCounts::added},
    {"changed   ", "changed", &ChangeCounts::changed},
};

class Reader {
 public:
  Reader(Database& db, PageFleet& fleet) : db_(db), fleet_(fleet) {}

  std::expected<void, std::string> read() {
    for (auto step : {&Reader::read_hosts, &Reader::read_snapshots, &Reader::read_changes,
                      &Reader::read_drivers, &Reader::read_devices}) {
      if (auto done = (this->*step)(); !done) return done;
    }
    return {};
  }

 private:
  std::expected<void, std::string> read_hosts() {
    return each(db_, kLatest, [&](const Statement& row) {
      host_at_.emplace(row.integer(0), fleet_.hosts.size());
      host_named_.emplace(row.text(1), fleet_.hosts.size());
      fleet_.hosts.push_back({.name = std::string(row.text(1)),
                              .last_seen = std::string(row.text(2)),
                              .os = std::string(row.text(3)),
                              .devices = row.integer(4),
                              .no_driver = row.integer(5),
                              .snapshots = {},
                              .states = {}});
      fleet_.no_driver += row.integer(5);
      if (!fleet_.newest || *fleet_.newest < fleet_.hosts.back().last_seen) {
        fleet_.newest = fleet_.hosts.back().last_seen;
      }
    });
  }

  std::expected<void, std::string> read_snapshots() {
    return each(db_, kSnapshots, [&](const Statement& row) {
      const std::string taken_at(row.text(2));
      fleet_.days.try_emplace(taken_at.substr(0, 10));
      ++fleet_.snapshot_count;
      const auto host = host_at_.find(row.integer(1));
      if (host == host_at_.end()) return;
      snapshot_at_.emplace(row.integer(0), Place{host->second, fleet_.snapshots.size()});
      fleet_.hosts[host->second].snapshots.push_back(fleet_.snapshots.size());
      fleet_.snapshots.push_back({.taken_at = taken_at,
                                  .devices = row.integer(3),
                                  .counts = {},
                                  .differences = {},
                                  .descriptions = {}});
    });
  }

  // The changes as `changes` finds them, counted per snapshot and per day, and the
  // description of each device they name.
  std::expected<void, std::string> read_changes() {
    struct Named {
      std::int64_t report = 0;  // the report the device stands in
      std::string instance_id;
    };
    std::vector<std::vector<Named>> named(fleet_.snapshots.size());
    auto done = each_change(db_, [&](const SnapshotChange& change) {
      const auto newer = snapshot_at_.find(change.newer_snapshot);
      if (newer == snapshot_at_.end()) return;
      PageSnapshot& snapshot = fleet_.snapshots[newer->second.snapshot];
      snapshot.differences = std::string(change.differences);
      ChangeCounts& day = fleet_.days[snapshot.taken_at.substr(0, 10)];
      for (std::string_view rest = change.differences; !rest.empty();) {
        const std::string_view line = rest.substr(0, rest.find('\n'));
        rest.remove_prefix(std::min(rest.size(), line.size() + 1));
        for (const Heading& heading : kHeadings) {
          if (!line.starts_with(heading.label)) continue;
          ++(snapshot.counts.*heading.count);
          ++(day.*heading.count);
          named[newer->second.snapshot].push_back(
              {heading.kind == "removed" ? change.older_report : change.newer_report,
               std::string(line.substr(heading.label.size()))});
        }
      }
    });
    if (!done) return done;
    return describe(named);
  }

  // One lookup a device, each a walk over its report's devices: on a busy 2-core machine
  // 2.3 s of the 10 s a 1,000-host month's page takes, for its 71,900 changes.
  template <typename Named>
  std::expected<void, std::string> describe(const std::vector<std::vector<Named>>& named) {
    auto description = db_.prepare(kDescription);
    if (!description) return Failed(description.error());
    for (std::size_t place = 0; place < named.size(); ++place) {
      std::vector<Text>& descriptions = fleet_.snapshots[place].descriptions;
      for (const Named& device : named[place]) {
        description->bind(1, device.report);
        description->bind(2, device.instance_id);
        Text found;
        auto done =
            each_row(*description, [&](const Statement& row) { found = std::string(row.text(0)); });
        if (!done) return done;
        descriptions.push_back(std::move(found));
      }
    }
    return {};
  }

  // The drivers as `drivers` groups and counts them, and `behind` finds their hosts.
  std::expected<void, std::string> read_drivers() {
    const auto runs = read_driver_runs(db_, std::nullopt);
    if (!runs) return Failed(runs.error());
    const std::vector<DriverRow>& rows = runs->rows;
    std::vector<std::vector<std::size_t>> hosts_of(rows.size());  // by a version's first row
    std::vector<std::size_t> newest(rows.size(), rows.size());    // by a driver's first row
    for (const RunningHost& running : runs->hosts) {
      const auto host = host_named_.find(running.name);
      if (host == host_named_.end()) continue;
      std::size_t counted = rows.size();
      // A host's rows ascend, so the rows of one version stand together in them.
      for (const std::size_t place : running.rows) {
        const std::size_t version = rows[place].version_first;
        if (version != counted) hosts_of[version].push_back(host->second);
        counted = version;
        newest[rows[place].driver] = std::min(newest[rows[place].driver], place);
      }
    }
    std::map<std::pair<Text, std::string>, std::size_t> driver_at;
    const DriverRow* driver_first = nullptr;  // of the driver read last
    for (const DriverVersionCount& count : count_versions(*runs)) {
      const DriverRow& row = *count.row;
      if (&rows[row.driver] != driver_first) {
        driver_first = &rows[row.driver];
        driver_at.emplace(std::pair{row.provider, row.description}, fleet_.drivers.size());
        fleet_.drivers.push_back({.provider = row.provider,
                                  .description = row.description,
                                  .versions = {},
                                  .matching_ids = {}});
      }
      auto& hosts = hosts_of[row.version_first];
      std::ranges::sort(hosts);
      fleet_.drivers.back().versions.push_back(
          {.version = row.version,
           .date = row.date,
           .inf = count.inf,
           .behind = row.numbers < rows[newest[row.driver]].numbers,
           .hosts = std::move(hosts)});
    }
    auto done = each(db_, kMatchingIds, [&](const Statement& row) {
      const auto driver = driver_at.find({text_of(row, 0), std::string(row.text(1))});
      if (driver != driver_at.end()) {
        fleet_.drivers[driver->second].matching_ids.emplace(row.text(2));
      }
    });
    if (!done) return done;
    order_drivers();
    return {};
  }

  void order_drivers() {
    for (PageDriver& driver : fleet_.drivers) {
      std::set<std::size_t> hosts;
      for (const PageVersion& version : driver.versions) {
        hosts.insert(version.hosts.begin(), version.hosts.end());
      }
      driver.hosts = hosts.size();
    }
    // A total order, not a stable sort: clang's libFuzzer build refuses the
    // deprecated buffer std::stable_sort takes.
    std::ranges::sort(fleet_.drivers, [](const PageDriver& a, const PageDriver& b) {
      if (a.versions.size() != b.versions.size()) return a.versions.size() > b.versions.size();
      if (a.hosts != b.hosts) return a.hosts > b.hosts;
      return std::tie(a.provider, a.description) < std::tie(b.provider, b.description);
    });
  }

  // The devices of the latest snapshots: each host's, and those without a driver.
  std::expected<void, std::string> read_devices() {
    struct State {
      DeviceText text;
      bool no_driver = false;
      Text hardware_id;
      std::size_t place = 0;
    };
    std::unordered_map<Id, State> states;
    auto done = each(db_, kLatestStates, [&](const Statement& row) {
      states.emplace(row.integer(0),
                     State{{std::string(row.text(1)), std::string(row.text(2)), text_of(row, 3),
                            text_of(row, 4), text_of(row, 5), text_of(row, 6)},
                           row.integer(7) != 0,
                           text_of(row, 8)});
    });
    if (!done) return done;
    number_states(states);
    fleet_.state_ids.resize(fleet_.states.size());
    done = each(db_, kLatestIds, [&](const Statement& row) {
      const auto state = states.find(row.integer(0));
      if (state != states.end()) fleet_.state_ids[state->second.place].emplace(row.text(1));
    });
    if (!done) return done;
    std::map<std::pair<std::string, Text>, std::set<std::size_t>> no_driver;
    done = each(db_, kLatestDevices, [&](const Statement& row) {
      const auto host = host_at_.find(row.integer(0));
      const auto state = states.find(row.integer(1));
      if (host == host_at_.end() || state == states.end()) return;
      if (state->second.no_driver) {
        no_driver[{std::get<1>(state->second.text), state->second.hardware_id}].insert(
            host->second);
      }
      auto& devices = fleet_.hosts[host->second].states;
      devices.insert(devices.end(),
                     static_cast<std::size_t>(std::max<std::int64_t>(row.integer(2), 1)),
                     state->second.place);
    });
    if (!done) return done;
    for (PageHost& host : fleet_.hosts) std::ranges::sort(host.states);
    for (auto& [key, hosts] : no_driver) {
      fleet_.no_driver_groups.push_back({key.first, key.second, {hosts.begin(), hosts.end()}});
    }
    std::ranges::sort(fleet_.no_driver_groups, [](const NoDriverGroup& a, const NoDriverGroup& b) {
      if (a.hosts.size() != b.hosts.size()) return a.hosts.size() > b.hosts.size();
      return std::tie(a.description, a.hardware_id) < std::tie(b.description, b.hardware_id);
    });
    return {};
  }

  // Numbers the distinct device texts in their own order, which is by instance id first.
  template <typename States>
  void number_states(States& states) {
    std::map<DeviceText, std::size_t> places;
    for (const auto& [id, state] : states) places.emplace(state.text, 0);
    for (auto& [text, place] : places) {
      place = fleet_.states.size();
      fleet_.states.push_back(text);
    }
    for (auto& [id, state] : states) state.place = places.at(state.text);
  }

  struct Place {
    std::size_t host = 0;
    std::size_t snapshot = 0;
  };

  Database& db_;
  PageFleet& fleet_;
  std::unordered_map<Id, std::size_t> host_at_;
  std::unordered_map<std::string, std::size_t> host_named_;
  std::unordered_map<Id, Place> snapshot_at_;
};

}  // namespace

PageBudget page_budget(std::size_t hosts) {
  return {.packed = std::max(kDetailsBudget, kDetailsBudgetPerHost * hosts),
          .opened = std::max(kOpenedBudget, kOpenedBudgetPerHost * hosts)};
}

std::expected<PageData, std::string> read_page_data(Database& db, const PageOptions& options) {
  PageFleet fleet;
  fleet.title = options.title;
  if (auto read = Reader(db, fleet).read(); !read) return Failed(read.error());
  auto fitted = fit_budget(fleet, options.budget.value_or(page_budget(fleet.hosts.size())));
  if (!fitted) return Failed(fitted.error());
  return PageData{.json = std::move(fitted->json),
                  .packed = std::move(fitted->packed),
                  .hosts = static_cast<std::int64_t>(fleet.hosts.size()),
                  .snapshots = fleet.snapshot_count,
                  .drivers = static_cast<std::int64_t>(fleet.drivers.size())};
}

}  // namespace qv
