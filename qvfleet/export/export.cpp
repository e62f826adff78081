#include "export.h"

#include <system_error>

#include "export_file.h"
#include "output_check.h"
#include "report_format.h"
#include "schema.h"
#include "sha256.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

// SQLite's words for the column types and table options that PostgreSQL says
// otherwise; the rest of the schema is the same SQL in both.
constexpr std::pair<std::string_view, std::string_view> kPostgresqlWords[] = {
    {" INTEGER", " bigint"}, {" TEXT", " text"},         {" BLOB", " bytea"},
    {" COLLATE NOCASE", ""}, {") WITHOUT ROWID;", ");"},
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
    {"repeated_device", "report_id, position"},
};

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// PostgreSQL's text holds neither a NUL nor bytes that are not UTF-8; each such
// byte becomes U+FFFD, and every other character is kept as it is.
std::string loadable_text(std::string_view text) {
  std::string loadable;
  loadable.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t length = well_formed_length(text, pos);
    if (length == 0 || text[pos] == '\0') {
      loadable += kReplacement;
      ++pos;
    } else {
      loadable.append(text, pos, length);
      pos += length;
    }
  }
  return loadable;
}

// A text field as RFC 4180 quotes it, readable by psql's \copy: psql ends the
// data at any line that is only "\.", even inside a quoted field, so a
// backslash that would start a line stands outside the quotes ("\""), which
// PostgreSQL's CSV reading takes as the same value. An empty text is quoted, to
// tell it from null; one that starts with a backslash is too, so that "\." of
// its own is never a line.
void append_text_field(std::string& line, std::string_view raw) {
  const std::string text = loadable_text(raw);
  if (!text.empty() && text.front() != '\\' && text.find_first_of(",\"\r\n") == std::string::npos) {
    line += text;
    return;
  }
  line += '"';
  bool line_start = false;
  for (const char c : text) {
    if (c == '\\' && line_start) {
      line += "\"\\\"";
    } else {
      if (c == '"') line += '"';
      line += c;
    }
    line_start = c == '\n';
  }
  line += '"';
}

void append_field(std::string& line, const Statement& row, int column) {
  switch (row.type(column)) {
    case Statement::Type::null:
      return;
    case Statement::Type::blob: {
      const auto bytes = row.blob(column);
      line += "\\x" + to_hex(bytes.data(), bytes.size());
      return;
    }
    default:
      append_text_field(line, row.text(column));
  }
}

// A path in a message: UTF-8, on one line.
std::string shown(const fs::path& path) {
  const std::u8string name = path.u8string();
  return one_line_text({reinterpret_cast<const char*>(name.data()), name.size()});
}

std::string cannot_write(const fs::path& file, const std::string& reason) {
  return "Couldn't write " + shown(file) + ": " + reason;
}

std::expected<void, std::string> write_whole(const fs::path& file, std::string_view text) {
  auto out = ExportFile::create(file, LinkAt::replaced);
  if (!out) return std::unexpected(cannot_write(file, out.error()));
  if (auto written = out->write(text); !written) {
    return std::unexpected(cannot_write(file, written.error()));
  }
  if (auto finished = out->finish(); !finished) {
    return std::unexpected(cannot_write(file, finished.error()));
  }
  return {};
}

// A line of the statement's values, or of its column names.
void append_row(std::string& lines, const Statement& rows, bool names) {
  for (int column = 0; column < rows.column_count(); ++column) {
    if (column > 0) lines += ',';
    if (names) {
      append_text_field(lines, rows.column_name(column));
    } else {
      append_field(lines, rows, column);
    }
  }
  lines += "\r\n";
}

// Written a few rows at a time, so that a table of any size takes little memory.
std::expected<void, std::string> export_table(Database& db, const Table& table,
                                              const fs::path& file) {
  auto rows = db.prepare("SELECT * FROM " + std::string(table.name) + " ORDER BY " +
                         std::string(table.order));
  if (!rows) return std::unexpected(rows.error());
  auto out = ExportFile::create(file, LinkAt::replaced);
  if (!out) return std::unexpected(cannot_write(file, out.error()));
  std::string lines;
  append_row(lines, *rows, true);
  const auto flush = [&]() -> std::expected<void, std::string> {
    auto written = out->write(lines);
    lines.clear();
    if (!written) return std::unexpected(cannot_write(file, written.error()));
    return {};
  };
  for (;;) {
    const auto row = rows->step();
    if (!row) {
      return std::unexpected("Couldn't read the table " + std::string(table.name) + ": " +
                             row.error());
    }
    if (!*row) break;
    append_row(lines, *rows, false);
    constexpr std::size_t kFlush = 64 * 1024;
    if (lines.size() < kFlush) continue;
    if (auto flushed = flush(); !flushed) return flushed;
  }
  if (auto flushed = flush(); !flushed) return flushed;
  if (auto finished = out->finish(); !finished) {
    return std::unexpected(cannot_write(file, finished.error()));
  }
  return {};
}

// Every table from one read transaction: the files show the index at one moment,
// whatever a run that indexes meanwhile commits.
std::expected<std::string, std::string> export_tables(Database& db, const fs::path& folder) {
  if (auto begun = db.execute("BEGIN"); !begun) return std::unexpected(begun.error());
  std::string load;
  for (const Table& table : kTables) {
    const std::string name(table.name);
    if (auto written = export_table(db, table, folder / (name + ".csv")); !written) {
      (void)db.execute("ROLLBACK");
      return std::unexpected(written.error());
    }
    load += "\\copy " + name + " FROM '" + name + ".csv' WITH (FORMAT csv, HEADER true)\n";
  }
  (void)db.execute("COMMIT");
  return load;
}

// Every file the export may replace, checked before any is written.
std::expected<void, std::string> check_files(const Database& db, const fs::path& folder) {
  const fs::path index = index_file(db);
  std::vector<std::string> names = {"schema.sql", "load.sql"};
  for (const Table& table : kTables) names.push_back(std::string(table.name) + ".csv");
  for (const std::string& name : names) {
    const fs::path file = folder / name;
    if (auto allowed = check_output(file, index); !allowed) {
      return std::unexpected(cannot_write(file, allowed.error()));
    }
  }
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

std::string postgresql_schema() { return postgresql_of(index_schema_with_tables()); }

std::expected<void, std::string> export_index(Database& db, const fs::path& folder) {
  if (auto allowed = check_files(db, folder); !allowed) return allowed;
  std::error_code error;
  fs::create_directories(folder, error);
  if (error) {
    return std::unexpected("Couldn't make the folder " + shown(folder) + ": " + reason_of(error));
  }
  // load.sql goes first and comes back last, so that a folder holding it holds
  // a whole export, even after a run that failed half-way.
  const fs::path load_file = folder / "load.sql";
  if (auto removed = remove_export_file(load_file); !removed) {
    return std::unexpected(cannot_write(load_file, removed.error()));
  }
  const auto load = export_tables(db, folder);
  if (!load) return std::unexpected(load.error());
  if (auto written = write_whole(folder / "schema.sql", postgresql_schema()); !written) {
    return written;
  }
  return write_whole(load_file, *load);
}

}  // namespace qv
