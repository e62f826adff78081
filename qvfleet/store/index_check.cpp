#include "index_check.h"

#include <cstdint>
#include <fstream>
#include <optional>
#include <string_view>
#include <system_error>

#include "id_lists.h"
#include "schema.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kExpectedLists = R"sql(
DROP TABLE IF EXISTS temp.expected_id_states;
CREATE TEMP TABLE expected_id_states (value TEXT NOT NULL, first_state_id INTEGER NOT NULL,
                                      state_ids TEXT NOT NULL);
)sql";

// Each query gives the faults it finds as lines of text. Values are compared
// in ASCII lower case, as the index's NOCASE compares them.
constexpr std::string_view kChecks[] = {
    "SELECT 'foreign key: ' || \"table\" || ' row ' || coalesce(rowid, '?') || ' refers to no "
    "row of ' || parent FROM pragma_foreign_key_check LIMIT 5",
    "SELECT 'integrity: ' || integrity_check FROM pragma_integrity_check "
    "WHERE integrity_check <> 'ok' LIMIT 5",
    R"sql(
SELECT 'report ' || r.report_id || ' lists the device state ' || j.value || ', which is none'
FROM report AS r, json_each(r.states) AS j
WHERE NOT EXISTS (SELECT 1 FROM device_state WHERE state_id = j.value) LIMIT 5)sql",
    R"sql(
SELECT 'report ' || r.report_id || ' lists the driver ' || j.value || ', which is none'
FROM report AS r, json_each(r.drivers) AS j
WHERE NOT EXISTS (SELECT 1 FROM driver WHERE driver_id = j.value) LIMIT 5)sql",
    R"sql(
WITH listed AS (
  SELECT lower(l.value) AS value, j.value AS state_id
  FROM main.device_id_states AS l, json_each(l.state_ids) AS j),
expected AS (
  SELECT lower(l.value) AS value, j.value AS state_id
  FROM temp.expected_id_states AS l, json_each(l.state_ids) AS j)
SELECT * FROM (
  SELECT 'id lists: ' || value || ' lacks the device state ' || state_id
  FROM (SELECT * FROM expected EXCEPT SELECT * FROM listed) LIMIT 5)
UNION ALL SELECT * FROM (
  SELECT 'id lists: ' || value || ' lists the device state ' || state_id || ', not one of its'
  FROM (SELECT * FROM listed EXCEPT SELECT * FROM expected) LIMIT 5)
UNION ALL SELECT * FROM (
  SELECT 'id lists: ' || value || ' lists the device state ' || state_id || ' twice'
  FROM listed GROUP BY value, state_id HAVING count(*) > 1 LIMIT 5))sql",
    R"sql(
SELECT 'id lists: the row of ' || value || ' from ' || first_state_id ||
       ' is not in ascending order from its first state'
FROM (SELECT l.value, l.first_state_id, j.key, j.value AS state_id,
             lag(j.value) OVER (PARTITION BY l.value, l.first_state_id ORDER BY j.key) AS before
      FROM device_id_states AS l, json_each(l.state_ids) AS j)
WHERE (key = 0 AND state_id IS NOT first_state_id) OR state_id <= before
LIMIT 5)sql",
};

std::expected<void, std::string> make_expected_lists(Database& db) {
  if (auto made = db.execute(kExpectedLists); !made) return made;
  auto insert = db.prepare(
      "INSERT INTO temp.expected_id_states (value, first_state_id, state_ids) VALUES (?1, ?2, ?3)");
  if (!insert) return Failed(insert.error());
  return write_id_lists_from_device_ids(db, *insert);
}

// Whether the file starts as every SQLite database does.
bool sqlite_file(const fs::path& path) {
  constexpr std::string_view kHeader{"SQLite format 3\0", 16};
  char header[16] = {};
  std::ifstream in(path, std::ios::binary);
  return in.read(header, sizeof header) && std::string_view(header, sizeof header) == kHeader;
}

std::optional<std::int64_t> pragma_value(Database& db, std::string_view pragma) {
  auto statement = db.prepare(pragma);
  if (!statement) return std::nullopt;
  const auto row = statement->step();
  if (!row || !*row) return std::nullopt;
  return statement->integer(0);
}

bool current_index(const fs::path& path) {
  if (!sqlite_file(path)) return false;
  const std::u8string utf8 = path.u8string();
  auto db = Database::open(std::string(utf8.begin(), utf8.end()), Database::Mode::read_only);
  return db && pragma_value(*db, "PRAGMA application_id") == kApplicationId &&
         pragma_value(*db, "PRAGMA user_version") == kSchemaVersion;
}

}  // namespace

std::vector<std::string> index_faults(Database& db) {
  std::vector<std::string> faults;
  if (auto made = make_expected_lists(db); !made) {
    return {"The id lists can't be made again: " + made.error()};
  }
  for (const std::string_view check : kChecks) {
    auto statement = db.prepare(check);
    if (!statement) return {"The check can't be run: " + statement.error()};
    auto read =
        each_row(*statement, [&](const Statement& row) { faults.emplace_back(row.text(0)); });
    if (!read) return {"The check can't be run: " + read.error()};
  }
  (void)db.execute("DROP TABLE temp.expected_id_states");
  return faults;
}

std::vector<std::string> index_file_faults(const fs::path& path) {
  const std::u8string utf8 = path.u8string();
  auto db = Database::open(std::string(utf8.begin(), utf8.end()), Database::Mode::read_only);
  if (!db) return {"It can't be opened: " + db.error()};
  return index_faults(*db);
}

std::vector<fs::path> fleet_indexes_under(const fs::path& folder) {
  std::vector<fs::path> indexes;
  std::error_code error;
  for (fs::recursive_directory_iterator
           it(folder, fs::directory_options::skip_permission_denied, error),
       end;
       !error && it != end; it.increment(error)) {
    std::error_code kind;
    if (!it->is_symlink(kind) && it->is_regular_file(kind) && current_index(it->path())) {
      indexes.push_back(it->path());
    }
  }
  return indexes;
}

}  // namespace qv
