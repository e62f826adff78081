#include "changes.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <set>
#include <tuple>
#include <vector>

#include "report_diff.h"
#include "report_format.h"
#include "report_reader.h"

namespace qv {
namespace {

struct Snapshot {
  std::string host;
  std::int64_t report_id = 0;
  std::string taken_at;
  std::int64_t mtime_ns = 0;
  std::int64_t snapshot_id = 0;
};

struct Pair {
  Snapshot older;
  Snapshot newer;
};

// Every pair of consecutive snapshots of a host, in the order of their files'
// last writes whatever the order of indexing, whose reports differ; the newest
// first.
std::expected<std::vector<Pair>, std::string> changed_pairs(
    Database& db, const std::optional<std::string>& since, const std::optional<std::string>& host) {
  auto snapshots = db.prepare(
      "SELECT h.name, s.report_id, s.taken_at, s.mtime_ns, s.snapshot_id FROM snapshot AS s "
      "JOIN host AS h ON h.host_id = s.host_id WHERE ?1 IS NULL OR h.name = ?1 "
      "ORDER BY s.host_id, s.mtime_ns, s.snapshot_id");
  if (!snapshots) return Failed(snapshots.error());
  snapshots->bind(1, host ? std::optional<std::string_view>(*host) : std::nullopt);
  std::vector<Pair> pairs;
  std::optional<Snapshot> before;
  for (;;) {
    const auto row = snapshots->step();
    if (!row) return Failed(row.error());
    if (!*row) break;
    Snapshot now{std::string(snapshots->text(0)), snapshots->integer(1),
                 std::string(snapshots->text(2)), snapshots->integer(3), snapshots->integer(4)};
    if (before && before->host == now.host && before->report_id != now.report_id &&
        (!since || now.taken_at >= *since)) {
      pairs.push_back({*before, now});
    }
    before = std::move(now);
  }
  std::ranges::sort(pairs, [](const Pair& a, const Pair& b) {
    return std::tie(b.newer.mtime_ns, a.newer.host, b.newer.snapshot_id) <
           std::tie(a.newer.mtime_ns, b.newer.host, a.newer.snapshot_id);
  });
  return pairs;
}

// The statements that read what a pair of snapshots holds, prepared once.
struct Statements {
  Statement members, repeated, instance, device, ids, header;

  static std::expected<Statements, std::string> make(Database& db) {
    Statements made;
    const std::pair<Statement*, const char*> sql[] = {
        {&made.members, "SELECT state_id, copies FROM report_device WHERE report_id = ?1"},
        {&made.repeated,
         "SELECT d.instance_id, r.state_id FROM repeated_device AS r "
         "JOIN device_state AS d ON d.state_id = r.state_id WHERE r.report_id = ?1 "
         "ORDER BY r.position"},
        {&made.instance, "SELECT instance_id FROM device_state WHERE state_id = ?1"},
        {&made.device,
         "SELECT instance_id, description, class_guid, driver_ver, driver_desc, driver_provider, "
         "driver_inf, driver_ext, driver_matching_id FROM device WHERE state_id = ?1"},
        {&made.ids,
         "SELECT kind, value FROM device_id WHERE state_id = ?1 ORDER BY kind DESC, position"},
        {&made.header,
         "SELECT h.name, r.os, r.arch, r.server FROM report AS r "
         "JOIN host AS h ON h.host_id = r.host_id WHERE r.report_id = ?1"},
    };
    for (const auto& [statement, text] : sql) {
      auto prepared = db.prepare(text);
      if (!prepared) return Failed(prepared.error());
      *statement = std::move(*prepared);
    }
    return made;
  }
};

// Runs `statement` with the one value and hands each row to `row`.
template <typename Row>
std::expected<void, std::string> each_row(Statement& statement, std::int64_t value, Row&& row) {
  statement.bind(1, value);
  return each_row(statement, std::forward<Row>(row));
}

using Copies = std::map<std::int64_t, std::int64_t>;  // state: how often a report holds it
using States = std::vector<std::int64_t>;

// What a report holds, as far as qvdiff's pairing needs it: its states, and
// for each instance id that stands more than once, its states in order.
struct Holding {
  Copies copies;
  std::map<std::string, States, std::less<>> repeated;
};

std::expected<Holding, std::string> holding(Statements& sql, std::int64_t report) {
  Holding held;
  auto read = each_row(sql.members, report,
                       [&](const Statement& row) { held.copies[row.integer(0)] = row.integer(1); });
  if (!read) return Failed(read.error());
  read = each_row(sql.repeated, report, [&](const Statement& row) {
    held.repeated[std::string(row.text(0))].push_back(row.integer(1));
  });
  if (!read) return Failed(read.error());
  return held;
}

// The states one side holds more often than the other.
States excess(const Copies& side, const Copies& other) {
  States more;
  for (const auto& [state, copies] : side) {
    const auto at = other.find(state);
    if (copies > (at == other.end() ? 0 : at->second)) more.push_back(state);
  }
  return more;
}

// The devices of one instance id in a report. An id that stands once is one of
// the states this side holds more often, or else, since the other side then
// holds it too but not as its only device of that id, one of the other side's
// repeated states.
States devices_of(const std::string& id, const Holding& side, const Holding& other,
                  const std::multimap<std::string, std::int64_t, std::less<>>& excess_ids) {
  if (const auto at = side.repeated.find(id); at != side.repeated.end()) return at->second;
  for (auto [at, end] = excess_ids.equal_range(id); at != end; ++at) {
    if (side.copies.contains(at->second)) return {at->second};
  }
  if (const auto at = other.repeated.find(id); at != other.repeated.end()) {
    for (const std::int64_t state : at->second) {
      if (side.copies.contains(state)) return {state};
    }
  }
  return {};
}

// The devices of both reports, in each report's order, of the instance ids
// whose devices differ: qvdiff pairs devices by id, so what it prints for the
// whole reports it prints for these.
std::expected<std::pair<States, States>, std::string> differing_devices(Statements& sql,
                                                                        const Holding& old_side,
                                                                        const Holding& new_side) {
  std::multimap<std::string, std::int64_t, std::less<>> excess_ids;
  for (const auto& [side, other] :
       {std::pair(&old_side, &new_side), std::pair(&new_side, &old_side)}) {
    for (const std::int64_t state : excess(side->copies, other->copies)) {
      auto read = each_row(sql.instance, state, [&](const Statement& row) {
        excess_ids.emplace(std::string(row.text(0)), state);
      });
      if (!read) return Failed(read.error());
    }
  }
  std::set<std::string, std::less<>> ids;
  for (const auto& [id, state] : excess_ids) ids.insert(id);
  for (const Holding* side : {&old_side, &new_side}) {
    for (const auto& [id, states] : side->repeated) ids.insert(id);
  }
  std::pair<States, States> devices;
  for (const std::string& id : ids) {
    const States old_devices = devices_of(id, old_side, new_side, excess_ids);
    const States new_devices = devices_of(id, new_side, old_side, excess_ids);
    if (old_devices == new_devices) continue;
    devices.first.insert(devices.first.end(), old_devices.begin(), old_devices.end());
    devices.second.insert(devices.second.end(), new_devices.begin(), new_devices.end());
  }
  return devices;
}

// A device state's section as a report holds it, its values as they were read.
std::expected<std::string, std::string> section_of(Statements& sql, std::int64_t state) {
  // The device view's columns after class_guid, in the report's order of keys.
  constexpr std::string_view kDriverKeys[] = {"driver_ver", "driver_desc", "driver_provider",
                                              "driver_inf", "driver_ext",  "driver_matching_id"};
  std::string head;
  std::string driver;
  auto read = each_row(sql.device, state, [&](const Statement& device) {
    head = "[device]\ninstance_id=" + std::string(device.text(0)) +
           "\ndescription=" + std::string(device.text(1)) + "\n";
    if (const auto guid = device.optional_text(2))
      head += "class_guid=" + std::string(*guid) + "\n";
    for (int i = 0; i < static_cast<int>(std::size(kDriverKeys)); ++i) {
      if (const auto value = device.optional_text(3 + i)) {
        driver += std::string(kDriverKeys[i]) + "=" + std::string(*value) + "\n";
      }
    }
  });
  if (!read) return Failed(read.error());
  if (head.empty()) return Failed("A device state of the index is missing.");
  read = each_row(sql.ids, state, [&](const Statement& id) {
    head += std::string(id.text(0)) + "=" + std::string(id.text(1)) + "\n";
  });
  if (!read) return Failed(read.error());
  return head + driver;
}

// A report of the header and of the given devices only.
std::expected<std::string, std::string> partial_report(
    Statements& sql, std::int64_t report, const States& devices,
    std::map<std::int64_t, std::string>& sections) {
  std::string text;
  auto read = each_row(sql.header, report, [&](const Statement& header) {
    text = "qvdev1\nhost=" + std::string(header.text(0)) + "\nos=" + std::string(header.text(1)) +
           "\narch=" + std::string(header.text(2)) +
           "\nserver=" + (header.integer(3) != 0 ? "1" : "0") + "\n";
  });
  if (!read) return Failed(read.error());
  if (text.empty()) return Failed("A report of the index is missing.");
  for (const std::int64_t state : devices) {
    auto at = sections.find(state);
    if (at == sections.end()) {
      auto section = section_of(sql, state);
      if (!section) return Failed(section.error());
      at = sections.emplace(state, std::move(*section)).first;
    }
    text += at->second;
  }
  return text;
}

// Writes the pair's heading and differences, if qvdiff finds any; false once
// the output is gone.
std::expected<bool, std::string> write_pair(Statements& sql, const Pair& pair,
                                            const LineSink& out) {
  const auto old_side = holding(sql, pair.older.report_id);
  if (!old_side) return Failed(old_side.error());
  const auto new_side = holding(sql, pair.newer.report_id);
  if (!new_side) return Failed(new_side.error());
  const auto devices = differing_devices(sql, *old_side, *new_side);
  if (!devices) return Failed(devices.error());
  std::map<std::int64_t, std::string> sections;
  const auto old_text = partial_report(sql, pair.older.report_id, devices->first, sections);
  if (!old_text) return Failed(old_text.error());
  const auto new_text = partial_report(sql, pair.newer.report_id, devices->second, sections);
  if (!new_text) return Failed(new_text.error());
  const auto old_report = parse_report(*old_text);
  const auto new_report = parse_report(*new_text);
  if (!old_report || !new_report) return Failed("A report of the index does not read back.");
  bool open = true;
  bool headed = false;
  const auto compared = compare_reports(*old_report, *new_report, [&](std::string_view lines) {
    if (!headed) {
      headed = true;
      open = out("between   " + pair.older.taken_at + " " + pair.newer.taken_at + " " +
                 one_line_text(pair.newer.host) + "\n");
    }
    open = open && out(lines);
    return open;
  });
  if (!compared) return Failed(compared.error().message);
  return open;
}

}  // namespace

std::expected<void, std::string> write_changes(Database& db, std::optional<std::string> since,
                                               const LineSink& out,
                                               std::optional<std::string> host) {
  const auto pairs = changed_pairs(db, since, host);
  if (!pairs) return Failed(pairs.error());
  auto sql = Statements::make(db);
  if (!sql) return Failed(sql.error());
  for (const Pair& pair : *pairs) {
    const auto written = write_pair(*sql, pair, out);
    if (!written) return Failed(written.error());
    if (!*written) break;  // the output is gone: nothing more to write
  }
  return {};
}

std::expected<void, std::string> each_change(
    Database& db, const std::function<void(const SnapshotChange&)>& take) {
  const auto pairs = changed_pairs(db, std::nullopt, std::nullopt);
  if (!pairs) return Failed(pairs.error());
  auto sql = Statements::make(db);
  if (!sql) return Failed(sql.error());
  std::string text;
  for (const Pair& pair : *pairs) {
    text.clear();
    const auto written = write_pair(*sql, pair, [&](std::string_view lines) {
      text += lines;
      return true;
    });
    if (!written) return Failed(written.error());
    if (text.empty()) continue;
    const std::string_view differences = std::string_view(text).substr(text.find('\n') + 1);
    take({pair.older.snapshot_id, pair.newer.snapshot_id, pair.older.report_id,
          pair.newer.report_id, differences});
  }
  return {};
}

}  // namespace qv
