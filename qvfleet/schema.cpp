#include "schema.h"

#include <chrono>
#include <thread>

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
  UNIQUE (path, size, mtime_ns)
);
CREATE INDEX snapshot_by_host ON snapshot (host_id, taken_at, snapshot_id);

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

constexpr std::string_view kViews = R"sql(
CREATE VIEW latest_snapshot AS
SELECT snapshot.* FROM host
JOIN snapshot ON snapshot.snapshot_id = (
  SELECT s.snapshot_id FROM snapshot AS s WHERE s.host_id = host.host_id
  ORDER BY s.taken_at DESC, s.snapshot_id DESC LIMIT 1);

CREATE VIEW device AS
SELECT d.state_id, d.instance_id, d.description, d.class_guid,
       CASE WHEN r.date IS NULL THEN r.version ELSE r.date || ' ' || r.version END AS driver_ver,
       r.description AS driver_desc, r.provider AS driver_provider, r.inf AS driver_inf,
       d.driver_ext, d.driver_matching_id, d.driver_id,
       r.date AS driver_date, r.version AS driver_version, r.v1, r.v2, r.v3, r.v4
FROM device_state AS d LEFT JOIN driver AS r ON r.driver_id = d.driver_id;

CREATE VIEW latest_device AS
SELECT h.name AS host, s.snapshot_id, s.taken_at, rd.copies, v.*
FROM latest_snapshot AS s
JOIN host AS h ON h.host_id = s.host_id
JOIN report_device AS rd ON rd.report_id = s.report_id
JOIN device AS v ON v.state_id = rd.state_id;
)sql";

// The rules every connection keeps, whatever the library's defaults.
constexpr std::string_view kConnection =
    "PRAGMA foreign_keys = ON; PRAGMA busy_timeout = 10000; PRAGMA cache_size = -65536;";

std::expected<std::int64_t, std::string> pragma(Database& db, std::string_view name) {
  auto statement = db.prepare("PRAGMA " + std::string(name));
  if (!statement) return Failed(statement.error());
  const auto row = statement->step();
  if (!row) return Failed(row.error());
  return *row ? statement->integer(0) : 0;
}

std::expected<bool, std::string> is_empty(Database& db) {
  auto objects = db.prepare("SELECT count(*) FROM sqlite_schema");
  if (!objects) return Failed(objects.error());
  if (const auto row = objects->step(); !row) return Failed(row.error());
  return objects->integer(0) == 0;
}

// Makes the schema in an empty database, inside one transaction, so that of two
// runs that start on a new file only one makes it.
std::expected<void, std::string> make_schema(Database& db) {
  if (auto begun = db.execute("BEGIN IMMEDIATE"); !begun) return begun;
  const auto made = [&]() -> std::expected<void, std::string> {
    const auto application = pragma(db, "application_id");
    if (!application) return Failed(application.error());
    if (*application == kApplicationId) return {};  // another run made it first
    const auto empty = is_empty(db);
    if (!empty) return Failed(empty.error());
    if (!*empty) return Failed("It is an SQLite database, but not a fleet index.");
    std::string create(index_schema());
    create += "PRAGMA application_id = " + std::to_string(kApplicationId) + ";";
    create += "PRAGMA user_version = " + std::to_string(kSchemaVersion) + ";";
    return db.execute(create);
  }();
  if (!made) {
    (void)db.execute("ROLLBACK");
    return made;
  }
  return db.execute("COMMIT");
}

// Makes the schema in an empty database, or checks that it is ours.
std::expected<void, std::string> prepare_schema(Database& db, IndexAccess access) {
  const auto application = pragma(db, "application_id");
  if (!application) return Failed(application.error());
  if (*application == 0) {
    if (access == IndexAccess::read) {
      const auto empty = is_empty(db);
      if (!empty) return Failed(empty.error());
      return Failed(*empty ? "It is not a fleet index: it is empty."
                           : "It is an SQLite database, but not a fleet index.");
    }
    if (auto made = make_schema(db); !made) return made;
  } else if (*application != kApplicationId) {
    return Failed("It is an SQLite database, but not a fleet index.");
  }
  const auto version = pragma(db, "user_version");
  if (!version) return Failed(version.error());
  if (*version != kSchemaVersion) {
    return Failed("It is a fleet index of another version (" + std::to_string(*version) +
                  "; this program reads version " + std::to_string(kSchemaVersion) + ").");
  }
  return {};
}

}  // namespace

std::string index_schema() { return std::string(kTables) + std::string(kViews); }

std::expected<Database, std::string> open_index(const std::string& path, IndexAccess access) {
  auto db = Database::open(path, access == IndexAccess::write ? Database::Mode::read_write
                                                               : Database::Mode::read_only);
  if (!db) return db;
  if (auto set = db->execute(kConnection); !set) return Failed(set.error());
  const auto prepare = [&]() -> std::expected<void, std::string> {
    if (access == IndexAccess::write) {
      // Readers go on while a run writes; a commit is durable once the WAL is on disk.
      if (auto wal = db->execute("PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL;");
          !wal) {
        return wal;
      }
    }
    return prepare_schema(*db, access);
  };
  // A run that starts beside another may find the file locked in ways the busy
  // timeout does not wait for (a change of journal mode, the schema being made):
  // it tries again for as long as the timeout would have waited.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  for (;;) {
    const auto ready = prepare();
    if (ready) return db;
    if (!db->busy()) return Failed(ready.error());
    if (std::chrono::steady_clock::now() >= deadline) return Failed(std::string(kIndexBusy));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

std::expected<Database, std::string> open_memory_index() {
  auto db = Database::open(":memory:", Database::Mode::read_write);
  if (!db) return db;
  if (auto set = db->execute(kConnection); !set) return Failed(set.error());
  if (auto ready = prepare_schema(*db, IndexAccess::write); !ready) return Failed(ready.error());
  return db;
}

}  // namespace qv
