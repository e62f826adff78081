#include "changes.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <vector>

#include "identity_text.h"
#include "report.h"
#include "report_diff.h"
#include "report_reader.h"

namespace qv {
namespace {

struct Snapshot {
  std::string host;
  std::int64_t report_id = 0;
  std::string taken_at;
};

struct Pair {
  Snapshot older;
  Snapshot newer;
};

// Every pair of consecutive snapshots of a host whose reports differ.
std::expected<std::vector<Pair>, std::string> changed_pairs(Database& db,
                                                            const std::optional<std::string>& since) {
  auto snapshots = db.prepare(
      "SELECT h.name, s.report_id, s.taken_at FROM snapshot AS s "
      "JOIN host AS h ON h.host_id = s.host_id ORDER BY s.host_id, s.taken_at, s.snapshot_id");
  if (!snapshots) return Failed(snapshots.error());
  std::vector<Pair> pairs;
  std::optional<Snapshot> before;
  for (;;) {
    const auto row = snapshots->step();
    if (!row) return Failed(row.error());
    if (!*row) break;
    Snapshot now{std::string(snapshots->text(0)), snapshots->integer(1),
                 std::string(snapshots->text(2))};
    if (before && before->host == now.host && before->report_id != now.report_id &&
        (!since || now.taken_at >= *since)) {
      pairs.push_back({*before, now});
    }
    before = std::move(now);
  }
  std::ranges::sort(pairs, [](const Pair& a, const Pair& b) {
    if (a.newer.taken_at != b.newer.taken_at) return a.newer.taken_at > b.newer.taken_at;
    return a.newer.host < b.newer.host;
  });
  return pairs;
}

// The statements that read what a pair of snapshots holds, prepared once.
struct Statements {
  Statement members, device, ids, header;

  static std::expected<Statements, std::string> make(Database& db) {
    Statements made;
    const std::pair<Statement*, const char*> sql[] = {
        {&made.members, "SELECT state_id, copies FROM report_device WHERE report_id = ?1"},
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

// Runs `statement` with the one value and hands each row to `row`; the
// statement is reset after, whatever happens.
template <typename Row>
std::expected<void, std::string> each_row(Statement& statement, std::int64_t value, Row&& row) {
  statement.bind(1, value);
  for (;;) {
    const auto next = statement.step();
    if (!next) {
      statement.reset();
      return Failed(next.error());
    }
    if (!*next) break;
    row(statement);
  }
  statement.reset();
  return {};
}

// A report's devices by state, with how often it holds each.
std::expected<std::map<std::int64_t, std::int64_t>, std::string> members(Statements& sql,
                                                                        std::int64_t report) {
  std::map<std::int64_t, std::int64_t> copies;
  auto read = each_row(sql.members, report,
                       [&](const Statement& row) { copies[row.integer(0)] = row.integer(1); });
  if (!read) return Failed(read.error());
  return copies;
}

std::optional<std::string> owned(const std::optional<std::string_view>& text) {
  if (!text) return std::nullopt;
  return std::string(*text);
}

// A device state as a record, so that the report writer writes it as qv did.
std::expected<DeviceRecord, std::string> device_record_of(Statements& sql, std::int64_t state) {
  std::optional<DeviceRecord> record;
  auto read = each_row(sql.device, state, [&](const Statement& device) {
    record = DeviceRecord{.instance_id = std::string(device.text(0)),
                          .description = std::string(device.text(1)),
                          .class_guid = owned(device.optional_text(2))};
    if (const auto identity_text = device.optional_text(3)) {
      record->driver = DriverInfo{
          .identity = parse_driver_identity_text(*identity_text).value_or(DriverIdentity{}),
          .description = std::string(device.text(4)),
          .provider = owned(device.optional_text(5)),
          .inf_path = owned(device.optional_text(6)),
          .inf_section_ext = owned(device.optional_text(7)),
          .matching_device_id = owned(device.optional_text(8))};
    }
  });
  if (!read) return Failed(read.error());
  if (!record) return Failed("A device state of the index is missing.");
  read = each_row(sql.ids, state, [&](const Statement& id) {
    auto& list = id.text(0) == "hwid" ? record->hardware_ids : record->compatible_ids;
    list.emplace_back(id.text(1));
  });
  if (!read) return Failed(read.error());
  return std::move(*record);
}

// A report of the header and of the given devices only: what qvdiff prints for
// two such reports is what it prints for the whole ones, since the devices left
// out are the same on both sides.
std::expected<std::string, std::string> partial_report(
    Statements& sql, std::int64_t report, const std::map<std::int64_t, std::int64_t>& devices) {
  std::optional<ScanResult> result;
  auto read = each_row(sql.header, report, [&](const Statement& header) {
    result = ScanResult{.host = std::string(header.text(0)),
                        .os = std::string(header.text(1)),
                        .arch = std::string(header.text(2)),
                        .server = header.integer(3) != 0};
  });
  if (!read) return Failed(read.error());
  if (!result) return Failed("A report of the index is missing.");
  for (const auto& [state, copies] : devices) {
    auto record = device_record_of(sql, state);
    if (!record) return Failed(record.error());
    for (std::int64_t i = 0; i < copies; ++i) result->devices.push_back(*record);
  }
  return serialize_report(*result);
}

// The states one side holds more often than the other, with how many more.
std::map<std::int64_t, std::int64_t> excess(const std::map<std::int64_t, std::int64_t>& side,
                                            const std::map<std::int64_t, std::int64_t>& other) {
  std::map<std::int64_t, std::int64_t> more;
  for (const auto& [state, copies] : side) {
    const auto at = other.find(state);
    const std::int64_t there = at == other.end() ? 0 : at->second;
    if (copies > there) more[state] = copies - there;
  }
  return more;
}

// Writes the pair's heading and differences; false once the output is gone.
std::expected<bool, std::string> write_pair(Statements& sql, const Pair& pair,
                                            const LineSink& out) {
  const auto old_members = members(sql, pair.older.report_id);
  if (!old_members) return Failed(old_members.error());
  const auto new_members = members(sql, pair.newer.report_id);
  if (!new_members) return Failed(new_members.error());
  const auto old_text =
      partial_report(sql, pair.older.report_id, excess(*old_members, *new_members));
  if (!old_text) return Failed(old_text.error());
  const auto new_text =
      partial_report(sql, pair.newer.report_id, excess(*new_members, *old_members));
  if (!new_text) return Failed(new_text.error());
  const auto old_report = parse_report(*old_text);
  const auto new_report = parse_report(*new_text);
  if (!old_report || !new_report) return Failed("A report of the index does not read back.");
  std::string heading = "between   " + pair.older.taken_at + " " + pair.newer.taken_at + " " +
                        one_line_text(pair.newer.host) + "\n";
  bool open = out(heading);
  const auto compared = compare_reports(*old_report, *new_report, [&](std::string_view lines) {
    open = open && out(lines);
    return open;
  });
  if (!compared) return Failed(compared.error().message);
  return open;
}

}  // namespace

bool is_since_text(std::string_view text) {
  const auto digits = [&](std::size_t from, std::size_t count) {
    if (text.size() < from + count) return false;
    for (std::size_t i = from; i < from + count; ++i) {
      if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
    }
    return true;
  };
  const bool date = text.size() >= 10 && digits(0, 4) && text[4] == '-' && digits(5, 2) &&
                    text[7] == '-' && digits(8, 2);
  if (!date) return false;
  if (text.size() == 10) return true;
  return text.size() == 20 && text[10] == 'T' && digits(11, 2) && text[13] == ':' &&
         digits(14, 2) && text[16] == ':' && digits(17, 2) && text[19] == 'Z';
}

std::expected<void, std::string> write_changes(Database& db, std::optional<std::string> since,
                                               const LineSink& out) {
  const auto pairs = changed_pairs(db, since);
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

}  // namespace qv
