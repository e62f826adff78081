#include "export.h"

#include <fstream>
#include <system_error>

#include "queries.h"
#include "schema.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

// Keep in step with the SQLite schema of schema.cpp and with docs/fleet.md; the
// views are the index's own.
constexpr std::string_view kPostgresqlTables = R"sql(CREATE TABLE host (
  host_id bigint PRIMARY KEY,
  name text NOT NULL UNIQUE
);

CREATE TABLE report (
  report_id bigint PRIMARY KEY,
  sha256 text NOT NULL UNIQUE,
  host_id bigint NOT NULL REFERENCES host,
  os text NOT NULL,
  arch text NOT NULL,
  server integer NOT NULL,
  devices bigint NOT NULL,
  no_driver bigint NOT NULL
);

CREATE TABLE snapshot (
  snapshot_id bigint PRIMARY KEY,
  host_id bigint NOT NULL REFERENCES host,
  report_id bigint NOT NULL REFERENCES report,
  taken_at text NOT NULL,
  path text NOT NULL,
  size bigint NOT NULL,
  mtime_ns bigint NOT NULL,
  UNIQUE (path, size, mtime_ns)
);
CREATE INDEX snapshot_by_host ON snapshot (host_id, taken_at, snapshot_id);

CREATE TABLE driver (
  driver_id bigint PRIMARY KEY,
  key bytea NOT NULL UNIQUE,
  provider text,
  description text NOT NULL,
  inf text,
  date text,
  version text NOT NULL,
  v1 integer NOT NULL,
  v2 integer NOT NULL,
  v3 integer NOT NULL,
  v4 integer NOT NULL
);

CREATE TABLE device_state (
  state_id bigint PRIMARY KEY,
  digest bytea NOT NULL UNIQUE,
  instance_id text NOT NULL,
  description text NOT NULL,
  class_guid text,
  driver_id bigint REFERENCES driver,
  driver_ext text,
  driver_matching_id text
);

CREATE TABLE device_id (
  state_id bigint NOT NULL REFERENCES device_state,
  kind text NOT NULL,
  position integer NOT NULL,
  value text NOT NULL,
  PRIMARY KEY (state_id, kind, position)
);
CREATE INDEX device_id_by_value ON device_id (lower(value));

CREATE TABLE report_device (
  report_id bigint NOT NULL REFERENCES report,
  state_id bigint NOT NULL REFERENCES device_state,
  copies integer NOT NULL,
  PRIMARY KEY (report_id, state_id)
);

CREATE TABLE report_driver (
  report_id bigint NOT NULL REFERENCES report,
  driver_id bigint NOT NULL REFERENCES driver,
  PRIMARY KEY (report_id, driver_id)
);

)sql";

// Each table with the order of its rows.
struct Table {
  std::string_view name;
  std::string_view order;
};

constexpr Table kTables[] = {
    {"host", "host_id"},
    {"report", "report_id"},
    {"snapshot", "snapshot_id"},
    {"driver", "driver_id"},
    {"device_state", "state_id"},
    {"device_id", "state_id, kind, position"},
    {"report_device", "report_id, state_id"},
    {"report_driver", "report_id, driver_id"},
};

std::unexpected<std::string> cannot_write(const fs::path& file) {
  return std::unexpected("Couldn't write " + file.string() + ".");
}

std::expected<void, std::string> write_file(const fs::path& file, std::string_view text) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) return cannot_write(file);
  return {};
}

std::expected<void, std::string> export_table(Database& db, const Table& table,
                                              const fs::path& file) {
  auto rows = db.prepare("SELECT * FROM " + std::string(table.name) + " ORDER BY " +
                         std::string(table.order));
  if (!rows) return std::unexpected(rows.error());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  if (!out) return cannot_write(file);
  auto written = write_rows(*rows, TableFormat::csv, [&](std::string_view lines) {
    out << lines;
    return static_cast<bool>(out);
  });
  if (!written) return written;
  out.close();
  if (!out) return cannot_write(file);
  return {};
}

}  // namespace

const std::vector<std::string_view>& exported_tables() {
  static const std::vector<std::string_view> names = [] {
    std::vector<std::string_view> list;
    for (const Table& table : kTables) list.push_back(table.name);
    return list;
  }();
  return names;
}

std::string postgresql_schema() {
  return std::string(kPostgresqlTables) + std::string(index_views());
}

std::expected<void, std::string> export_index(Database& db, const fs::path& folder) {
  std::error_code error;
  fs::create_directories(folder, error);
  if (error) return std::unexpected("Couldn't make the folder " + folder.string() + ".");
  // One read transaction: every file shows the index at the same moment.
  if (auto begun = db.execute("BEGIN"); !begun) return begun;
  std::string load;
  for (const Table& table : kTables) {
    const fs::path file = folder / (std::string(table.name) + ".csv");
    if (auto written = export_table(db, table, file); !written) {
      (void)db.execute("ROLLBACK");
      return written;
    }
    load += "\\copy " + std::string(table.name) + " FROM '" + std::string(table.name) +
            ".csv' WITH (FORMAT csv, HEADER true)\n";
  }
  (void)db.execute("COMMIT");
  if (auto written = write_file(folder / "schema.sql", postgresql_schema()); !written) {
    return written;
  }
  return write_file(folder / "load.sql", load);
}

}  // namespace qv
