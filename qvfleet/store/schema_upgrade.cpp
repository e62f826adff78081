#include "schema_upgrade.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <utility>
#include <vector>

#include "files.h"
#include "report_reader.h"
#include "report_keys.h"
#include "sha256.h"

namespace qv {
namespace {

// A report's repeated devices as (position, state) rows.
using Rows = std::vector<std::pair<std::int64_t, std::int64_t>>;

struct Statements {
  Statement reports, files, state, stored, insert;

  static std::expected<Statements, std::string> make(Database& db) {
    Statements made;
    const std::pair<Statement*, const char*> sql[] = {
        {&made.reports,
         "SELECT DISTINCT report_id FROM (SELECT rd.report_id FROM report_device AS rd "
         "JOIN device_state AS d ON d.state_id = rd.state_id "
         "GROUP BY rd.report_id, d.instance_id HAVING sum(rd.copies) > 1) ORDER BY report_id"},
        {&made.files,
         "SELECT s.path, r.sha256 FROM snapshot AS s JOIN report AS r ON r.report_id = s.report_id "
         "WHERE s.report_id = ?1 ORDER BY s.snapshot_id DESC"},
        {&made.state, "SELECT state_id FROM device_state WHERE digest = ?1"},
        {&made.stored,
         "SELECT rd.state_id, rd.copies FROM report_device AS rd "
         "JOIN device_state AS d ON d.state_id = rd.state_id WHERE rd.report_id = ?1 "
         "AND d.instance_id IN (SELECT d2.instance_id FROM report_device AS rd2 "
         "JOIN device_state AS d2 ON d2.state_id = rd2.state_id WHERE rd2.report_id = ?1 "
         "GROUP BY d2.instance_id HAVING sum(rd2.copies) > 1) "
         "ORDER BY d.instance_id, rd.state_id"},
        {&made.insert,
         "INSERT INTO repeated_device (report_id, position, state_id) VALUES (?1, ?2, ?3)"},
    };
    for (const auto& [statement, text] : sql) {
      auto prepared = db.prepare(text);
      if (!prepared) return Failed(prepared.error());
      *statement = std::move(*prepared);
    }
    return made;
  }
};

// The rows from a file that still holds the report's bytes; none when no file
// does (moved, deleted, rewritten, unreadable).
std::expected<std::optional<Rows>, std::string> rows_from_files(Statements& sql,
                                                                std::int64_t report) {
  std::vector<std::pair<std::string, std::string>> files;  // path, SHA-256
  sql.files.bind(1, report);
  const auto listed = each_row(sql.files, [&](const Statement& row) {
    files.emplace_back(row.text(0), row.text(1));
  });
  if (!listed) return Failed(listed.error());
  for (const auto& [path, sha] : files) {
    const auto bytes =
        read_whole_file(std::filesystem::path(std::u8string(path.begin(), path.end())).native());
    if (!bytes || to_hex(sha256(*bytes)) != sha) continue;
    const auto parsed = parse_report(*bytes);
    if (!parsed) continue;
    Rows rows;
    for (const std::size_t position : repeated_positions(*parsed)) {
      sql.state.bind(1, section_digest(parsed->sections[position].text));
      const auto found = sql.state.step();
      const std::int64_t state = found && *found ? sql.state.integer(0) : 0;
      sql.state.reset();
      if (!found) return Failed(found.error());
      if (!*found) break;
      rows.emplace_back(static_cast<std::int64_t>(position), state);
    }
    if (rows.size() == repeated_positions(*parsed).size()) return rows;
  }
  return std::nullopt;
}

// The rows in the order of the states' own rows, each copy of a state a row,
// at negative positions: the report's own order is unknown until its bytes are
// indexed again.
std::expected<Rows, std::string> rows_by_state(Statements& sql, std::int64_t report) {
  Rows rows;
  sql.stored.bind(1, report);
  const auto read = each_row(sql.stored, [&](const Statement& row) {
    for (std::int64_t copy = 0; copy < row.integer(1); ++copy) {
      rows.emplace_back(static_cast<std::int64_t>(rows.size()), row.integer(0));
    }
  });
  if (!read) return Failed(read.error());
  for (auto& [position, state] : rows) position -= static_cast<std::int64_t>(rows.size());
  return rows;
}

}  // namespace

std::expected<void, std::string> order_repeated_devices(Database& db) {
  auto sql = Statements::make(db);
  if (!sql) return Failed(sql.error());
  std::vector<std::int64_t> reports;
  const auto listed =
      each_row(sql->reports, [&](const Statement& row) { reports.push_back(row.integer(0)); });
  if (!listed) return Failed(listed.error());
  for (const std::int64_t report : reports) {
    auto rows = rows_from_files(*sql, report);
    if (!rows) return Failed(rows.error());
    if (!*rows) {
      auto stored = rows_by_state(*sql, report);
      if (!stored) return Failed(stored.error());
      *rows = std::move(*stored);
    }
    for (const auto& [position, state] : **rows) {
      sql->insert.bind(1, report);
      sql->insert.bind(2, position);
      sql->insert.bind(3, state);
      if (auto ran = sql->insert.run(); !ran) return Failed(ran.error());
    }
  }
  return {};
}

}  // namespace qv
