#include "schema.h"

#include <chrono>
#include <filesystem>
#include <thread>

#include "id_lists.h"
#include "schema_upgrade.h"

namespace qv {
namespace {

// Keep in step with docs/fleet.md ("The schema"). export.cpp makes PostgreSQL's
// schema of it by changing the type names, so it uses only INTEGER, TEXT and BLOB.
constexpr std::string_view kTables = R"sql(
CREATE TABLE host (
  host_id INTEGER PRIMARY KEY,
  name TEXT NOT NULL UNIQUE
);

CREATE TABLE report (
  report_id INTEGER PRIMARY KEY,
  sha256 TEXT NOT NULL UNIQUE,
  host_id INTEGER NOT NULL REFERENCES host,
  os TEXT NOT NULL,
  arch TEXT NOT NULL,
  server INTEGER NOT NULL,
  devices INTEGER NOT NULL,
  no_driver INTEGER NOT NULL
);

CREATE TABLE snapshot (
  snapshot_id INTEGER PRIMARY KEY,
  host_id INTEGER NOT NULL REFERENCES host,
  report_id INTEGER NOT NULL REFERENCES report,
  taken_at TEXT NOT NULL,
  path TEXT NOT NULL,
  size INTEGER NOT NULL,
  mtime_ns INTEGER NOT NULL,
  file_id TEXT,
  UNIQUE (path, size, mtime_ns)
);

CREATE TABLE driver (
  driver_id INTEGER PRIMARY KEY,
  key BLOB NOT NULL UNIQUE,
  provider TEXT,
  description TEXT NOT NULL,
  inf TEXT,
  date TEXT,
  version TEXT NOT NULL,
  v1 INTEGER NOT NULL,
  v2 INTEGER NOT NULL,
  v3 INTEGER NOT NULL,
  v4 INTEGER NOT NULL
);

CREATE TABLE device_state (
  state_id INTEGER PRIMARY KEY,
  digest BLOB NOT NULL UNIQUE,
  instance_id TEXT NOT NULL,
  description TEXT NOT NULL,
  class_guid TEXT,
  driver_id INTEGER REFERENCES driver,
  driver_ext TEXT,
  driver_matching_id TEXT
);

CREATE TABLE device_id (
  state_id INTEGER NOT NULL REFERENCES device_state,
  kind TEXT NOT NULL,
  position INTEGER NOT NULL,
  value TEXT NOT NULL COLLATE NOCASE,
  PRIMARY KEY (state_id, kind, position)
) WITHOUT ROWID;
CREATE INDEX device_id_by_value ON device_id (value);

CREATE TABLE report_device (
  report_id INTEGER NOT NULL REFERENCES report,
  state_id INTEGER NOT NULL REFERENCES device_state,
  copies INTEGER NOT NULL,
  PRIMARY KEY (report_id, state_id)
) WITHOUT ROWID;

CREATE TABLE report_driver (
  report_id INTEGER NOT NULL REFERENCES report,
  driver_id INTEGER NOT NULL REFERENCES driver,
  PRIMARY KEY (report_id, driver_id)
) WITHOUT ROWID;
)sql";

// What version 2 added to version 1's tables, made in this order by both a new
// index and an upgrade.
constexpr std::string_view kTablesOfVersion2 = R"sql(
CREATE TABLE repeated_device (
  report_id INTEGER NOT NULL REFERENCES report,
  position INTEGER NOT NULL,
  state_id INTEGER NOT NULL REFERENCES device_state,
  PRIMARY KEY (report_id, position)
) WITHOUT ROWID;

CREATE INDEX snapshot_by_host ON snapshot (host_id, mtime_ns, snapshot_id);
CREATE INDEX snapshot_by_file ON snapshot (file_id, size, mtime_ns);
)sql";

constexpr std::string_view kViews = R"sql(
CREATE VIEW latest_snapshot AS
SELECT snapshot.* FROM host
JOIN snapshot ON snapshot.snapshot_id = (
  SELECT s.snapshot_id FROM snapshot AS s WHERE s.host_id = host.host_id
  ORDER BY s.mtime_ns DESC, s.snapshot_id DESC LIMIT 1);

CREATE VIEW device AS
SELECT d.state_id, d.instance_id, d.description, d.class_guid,
       CASE WHEN r.date IS NULL THEN r.version ELSE r.date || ' ' || r.version END AS driver_ver,
       r.description AS driver_desc, r.provider AS driver_provider, r.inf AS driver_inf,
       d.driver_ext, d.driver_matching_id, d.driver_id,
       r.date AS driver_date, r.version AS driver_version, r.v1, r.v2, r.v3, r.v4
FROM device_state AS d LEFT JOIN driver AS r ON r.driver_id = d.driver_id;
)sql";

// Made after the tables it reads; version 3 makes it again over its new views.
constexpr std::string_view kLatestDevice = R"sql(
CREATE VIEW latest_device AS
SELECT h.name AS host, s.snapshot_id, s.taken_at, rd.copies, v.*
FROM latest_snapshot AS s
JOIN host AS h ON h.host_id = s.host_id
JOIN report_device AS rd ON rd.report_id = s.report_id
JOIN device AS v ON v.state_id = rd.state_id;
)sql";

// Version 3 keeps the device states and drivers of a report in its own row, as
// JSON lists of ids in ascending order, where versions 1 and 2 kept a row of
// report_device for each device and of report_driver for each driver: writing
// those rows took most of an index run. A state the report holds more than once
// stands once in `states`; `copies` is then the list of each state's count, and
// null in every other report. The two tables become views of the lists, with
// the same columns, so that the questions and people's own SQL read them as before.
constexpr std::string_view kReportLists = R"sql(
ALTER TABLE report ADD COLUMN states TEXT NOT NULL DEFAULT '[]';
ALTER TABLE report ADD COLUMN copies TEXT;
ALTER TABLE report ADD COLUMN drivers TEXT NOT NULL DEFAULT '[]';
)sql";

constexpr std::string_view kListsFromRows = R"sql(
UPDATE report SET
  states = (SELECT json_group_array(state_id) FROM (
    SELECT state_id FROM report_device WHERE report_id = report.report_id ORDER BY state_id)),
  copies = CASE WHEN EXISTS (
    SELECT 1 FROM report_device WHERE report_id = report.report_id AND copies > 1)
    THEN (SELECT json_group_array(copies) FROM (
      SELECT copies FROM report_device WHERE report_id = report.report_id ORDER BY state_id))
  END,
  drivers = (SELECT json_group_array(driver_id) FROM (
    SELECT driver_id FROM report_driver WHERE report_id = report.report_id ORDER BY driver_id));
DROP VIEW latest_device;
DROP TABLE report_device;
DROP TABLE report_driver;

CREATE VIEW report_device AS
SELECT r.report_id, j.value AS state_id,
       CASE WHEN r.copies IS NULL THEN 1
            ELSE json_extract(r.copies, '$[' || j.key || ']') END AS copies
FROM report AS r, json_each(r.states) AS j;

CREATE VIEW report_driver AS
SELECT r.report_id, j.value AS driver_id FROM report AS r, json_each(r.drivers) AS j;
)sql";

// Version 4 finds the device states that hold an id value through a row per
// value and transaction, where version 3 had an index on device_id (value): a
// run wrote an entry of that index for each device id, each to its own place
// in it, which took a third of the writing. Made in this order by both a new
// index and an upgrade; the upgrade then fills the table from device_id.
constexpr std::string_view kIdLists = R"sql(
DROP INDEX device_id_by_value;
CREATE TABLE device_id_states (
  value TEXT NOT NULL COLLATE NOCASE,
  first_state_id INTEGER NOT NULL,
  state_ids TEXT NOT NULL,
  PRIMARY KEY (value, first_state_id)
) WITHOUT ROWID;
)sql";

// What version 2 changed in an index of version 1, before the additions it
// shares with a new index and the views, which now order snapshots by their
// last write.
constexpr std::string_view kFromVersion1 = R"sql(
ALTER TABLE snapshot ADD COLUMN file_id TEXT;
DROP INDEX snapshot_by_host;
DROP VIEW latest_device;
DROP VIEW latest_snapshot;
DROP VIEW device;
)sql";

// The rules every connection keeps, whatever the library's defaults.
constexpr std::string_view kConnection =
    "PRAGMA foreign_keys = ON; PRAGMA busy_timeout = 10000; PRAGMA cache_size = -65536;";

constexpr std::string_view kNotOurs = "It is an SQLite database, but not a fleet index.";

std::expected<std::int64_t, std::string> pragma(Database& db, std::string_view name) {
  auto statement = db.prepare("PRAGMA " + std::string(name));
  if (!statement) return Failed(statement.error());
  const auto row = statement->step();
  if (!row) return Failed(row.error());
  return *row ? statement->integer(0) : 0;
}

// What a database is, told from its header and schema alone: nothing is written
// to a file before it is known to be empty or an index of ours.
enum class Kind { empty, other, ours };
struct Found {
  Kind kind = Kind::other;
  std::int64_t version = 0;
};

std::expected<Found, std::string> inspect(Database& db) {
  for (;;) {
    const auto application = pragma(db, "application_id");
    if (!application) return Failed(application.error());
    const auto version = pragma(db, "user_version");
    if (!version) return Failed(version.error());
    if (*application == kApplicationId) return Found{Kind::ours, *version};
    if (*application != 0 || *version != 0) return Found{Kind::other, *version};
    auto objects = db.prepare("SELECT count(*) FROM sqlite_schema");
    if (!objects) return Failed(objects.error());
    if (const auto row = objects->step(); !row) return Failed(row.error());
    const bool empty = objects->integer(0) == 0;
    // Another run that makes the schema meanwhile commits it and the mark at once:
    // the mark read again tells whether the schema was counted before that commit.
    const auto again = pragma(db, "application_id");
    if (!again) return Failed(again.error());
    if (*again == *application) return Found{empty ? Kind::empty : Kind::other, 0};
  }
}

// Refuses what this program may not read or write, with a sentence saying why.
std::expected<void, std::string> check(const Found& found, IndexAccess access) {
  if (found.kind == Kind::other) return Failed(std::string(kNotOurs));
  if (found.kind == Kind::empty) {
    if (access == IndexAccess::write) return {};
    return Failed("It is not a fleet index: it is empty.");
  }
  if (found.version > kSchemaVersion || found.version < 1) {
    return Failed("It is a fleet index of version " + std::to_string(found.version) +
                  ", which this program does not know: it reads version " +
                  std::to_string(kSchemaVersion) + ".");
  }
  if (found.version < kSchemaVersion && access == IndexAccess::read) {
    return Failed("It is a fleet index of version " + std::to_string(found.version) +
                  ": run qvfleet index on it once to bring it to version " +
                  std::to_string(kSchemaVersion) + ".");
  }
  return {};
}

// What brings an index of an earlier version one version on: from version 1 to
// 2 before its repeated devices are ordered, from 2 to 3 after, and from 3 to 4
// before its id lists are filled.
std::string upgrade_sql(std::int64_t version) {
  if (version == 1) {
    return std::string(kFromVersion1) + std::string(kTablesOfVersion2) + std::string(kViews) +
           std::string(kLatestDevice);
  }
  if (version == 2) {
    return std::string(kReportLists) + std::string(kListsFromRows) + std::string(kLatestDevice);
  }
  return std::string(kIdLists);
}

// The lists of an upgraded index, made as a run makes them.
std::expected<void, std::string> fill_id_lists(Database& db) {
  auto insert = db.prepare(IdLists::kInsert);
  if (!insert) return Failed(insert.error());
  return write_id_lists_from_device_ids(db, *insert);
}

// Brings an index of an earlier version to this one, or makes the schema in an
// empty database, in one transaction: of two runs that start together only one does,
// and the other finds it done.
std::expected<void, std::string> make_current(Database& db) {
  // A new index's pages: pages of 16 KiB hold four times the keys of SQLite's
  // usual 4 KiB, so a lookup passes fewer levels; on a generated share it took a
  // quarter off the writing thread's time. The size holds only when set before
  // the first table: an existing database keeps its own.
  if (auto sized = db.execute("PRAGMA page_size = 16384"); !sized) return sized;
  if (auto begun = db.execute("BEGIN IMMEDIATE"); !begun) return begun;
  const auto made = [&]() -> std::expected<void, std::string> {
    const auto found = inspect(db);
    if (!found) return Failed(found.error());
    if (auto allowed = check(*found, IndexAccess::write); !allowed) return allowed;
    if (found->kind == Kind::ours && found->version == kSchemaVersion) return {};
    std::string sql;
    if (found->kind == Kind::empty) {
      sql = index_schema();
      sql += "PRAGMA application_id = " + std::to_string(kApplicationId) + ";";
    } else {
      sql = upgrade_sql(found->version);
    }
    if (auto changed = db.execute(sql); !changed) return changed;
    if (found->kind == Kind::ours && found->version == 1) {
      if (auto ordered = order_repeated_devices(db); !ordered) return ordered;
      if (auto changed = db.execute(upgrade_sql(2)); !changed) return changed;
    }
    if (found->kind == Kind::ours) {
      if (found->version < 3) {
        if (auto changed = db.execute(upgrade_sql(3)); !changed) return changed;
      }
      if (auto filled = fill_id_lists(db); !filled) return filled;
    }
    return db.execute("PRAGMA user_version = " + std::to_string(kSchemaVersion) + ";");
  }();
  if (!made) {
    (void)db.execute("ROLLBACK");
    return made;
  }
  return db.execute("COMMIT");
}

std::expected<void, std::string> prepare_to_write(Database& db) {
  const auto found = inspect(db);
  if (!found) return Failed(found.error());
  // What is not yet an index of this version may be one that another run is
  // making: the verdict is taken again under the write lock, where nothing
  // changes meanwhile, and a refused file is left as it was.
  if (found->kind != Kind::ours || found->version != kSchemaVersion) {
    if (auto made = make_current(db); !made) return made;
  }
  // Readers go on while a run writes; a commit is durable once the WAL is on disk.
  return db.execute("PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL;");
}

std::expected<void, std::string> prepare_to_read(Database& db) {
  const auto found = inspect(db);
  if (!found) return Failed(found.error());
  return check(*found, IndexAccess::read);
}

// A run that starts beside another may find the file locked in ways the busy
// timeout does not wait for (a change of journal mode, the schema being made):
// it tries again for as long as the timeout would have waited.
std::expected<void, std::string> prepare(Database& db, IndexAccess access) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  for (;;) {
    const auto ready = access == IndexAccess::write ? prepare_to_write(db) : prepare_to_read(db);
    if (ready || !db.busy()) return ready;
    if (std::chrono::steady_clock::now() >= deadline) return Failed(std::string(kIndexBusy));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

std::expected<Database, std::string> opened(const std::string& path, Database::Mode mode) {
  auto db = Database::open(path, mode);
  if (!db) return db;
  if (auto set = db->execute(kConnection); !set) return Failed(set.error());
  return db;
}

// Whether the file holds anything; false when it is missing.
bool holds_bytes(const std::string& utf8_path) {
  std::error_code error;
  const auto size = std::filesystem::file_size(
      std::filesystem::path(std::u8string(utf8_path.begin(), utf8_path.end())), error);
  return !error && size > 0;
}

// An index in WAL mode is read through a shared-memory file beside it, which a
// reader makes when it is missing. Where the reader may not make it (a folder,
// share or medium it can only read) and no log of a write waits beside the
// index either (an empty one, which readers leave behind, holds none), the
// file alone is the whole index: it is read as one that nothing changes.
std::expected<Database, std::string> open_to_read(const std::string& path) {
  auto db = Database::open(path, Database::Mode::read_only);
  if (!db) return db;
  auto ready = db->execute(kConnection);
  if (ready) ready = prepare(*db, IndexAccess::read);
  if (ready) return db;
  if (!db->cannot_share()) return Failed(ready.error());
  if (holds_bytes(path + "-wal")) {
    return Failed(
        "It can't be read here: the log of an unfinished write (its -wal file) lies beside it, "
        "in a folder this user may not write to.");
  }
  auto whole = opened(path, Database::Mode::immutable);
  if (!whole) return whole;
  if (auto checked = prepare(*whole, IndexAccess::read); !checked) return Failed(checked.error());
  return whole;
}

}  // namespace

std::string index_schema() {
  return std::string(kTables) + std::string(kTablesOfVersion2) + std::string(kViews) +
         std::string(kLatestDevice) + std::string(kReportLists) + std::string(kListsFromRows) +
         std::string(kLatestDevice) + std::string(kIdLists);
}

std::string index_schema_with_tables() {
  return std::string(kTables) + std::string(kTablesOfVersion2) + std::string(kViews) +
         std::string(kLatestDevice) + std::string(kReportLists);
}

std::expected<Database, std::string> open_index(const std::string& path, IndexAccess access) {
  if (access == IndexAccess::read) return open_to_read(path);
  auto db = Database::open(path, Database::Mode::read_write);
  if (!db) return db;
  // Another program's database keeps even the log of its last writes as it was.
  db->keep_log_on_close(holds_bytes(path + "-wal"));
  auto ready = db->execute(kConnection);
  if (ready) ready = prepare(*db, IndexAccess::write);
  if (ready) {
    db->keep_log_on_close(false);
    return db;
  }
  // SQLite opens a file this user may not write to for reading alone.
  if (db->read_only() && db->cannot_share()) {
    return Failed("It can't be written: this user may only read it.");
  }
  return Failed(ready.error());
}

std::expected<Database, std::string> open_memory_index() {
  auto db = opened(":memory:", Database::Mode::read_write);
  if (!db) return db;
  if (auto ready = make_current(*db); !ready) return Failed(ready.error());
  return db;
}

}  // namespace qv
