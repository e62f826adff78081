#include "export.h"

#include <fstream>
#include <system_error>

#include "queries.h"
#include "schema.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

// SQLite's words for the column types and table options that PostgreSQL says
// otherwise; the rest of the schema is the same SQL in both.
constexpr std::pair<std::string_view, std::string_view> kPostgresqlWords[] = {
    {" INTEGER", " bigint"},
    {" TEXT", " text"},
    {" BLOB", " bytea"},
    {" COLLATE NOCASE", ""},
    {") WITHOUT ROWID;", ");"},
};

std::string postgresql_of(std::string_view sqlite) {
  std::string sql(sqlite);
  for (const auto& [word, replacement] : kPostgresqlWords) {
    for (std::size_t at = sql.find(word); at != std::string::npos;
         at = sql.find(word, at + replacement.size())) {
      sql.replace(at, word.size(), replacement);
    }
  }
  return sql;
}

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

std::string postgresql_schema() { return postgresql_of(index_schema()); }

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
