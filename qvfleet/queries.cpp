#include "queries.h"

#include <sqlite3.h>

#include <array>
#include <cctype>
#include <optional>

#include "report_format.h"
#include "sha256.h"

namespace qv {
namespace {

// PRAGMAs that only tell; any of them with a value in parentheses still only reads.
constexpr std::array<std::string_view, 17> kTellingPragmas = {
    "table_info",   "table_xinfo",      "table_list",      "index_list",   "index_info",
    "index_xinfo",  "foreign_key_list", "foreign_key_check", "database_list", "collation_list",
    "function_list", "module_list",     "pragma_list",     "compile_options", "integrity_check",
    "quick_check",  "data_version"};
// PRAGMAs that tell their setting when asked without a value, and set it with one.
constexpr std::array<std::string_view, 9> kSettingPragmas = {
    "page_count", "page_size",     "user_version", "schema_version", "application_id",
    "encoding",   "journal_mode", "freelist_count", "foreign_keys"};

bool contains(std::span<const std::string_view> names, const char* name) {
  if (name == nullptr) return false;
  for (const std::string_view known : names) {
    if (known == name) return true;
  }
  return false;
}

// What the authorizer refused first, for the message.
struct Refusal {
  std::optional<std::string> what;
};

std::string action_name(int action, const char* first) {
  switch (action) {
    case SQLITE_INSERT:
      return "INSERT";
    case SQLITE_UPDATE:
      return "UPDATE";
    case SQLITE_DELETE:
      return "DELETE";
    case SQLITE_ATTACH:
      return "ATTACH";
    case SQLITE_DETACH:
      return "DETACH";
    case SQLITE_PRAGMA:
      return std::string("PRAGMA ") + (first != nullptr ? first : "");
    case SQLITE_TRANSACTION:
    case SQLITE_SAVEPOINT:
      return "a transaction";
    case SQLITE_DROP_INDEX:
    case SQLITE_DROP_TABLE:
    case SQLITE_DROP_TRIGGER:
    case SQLITE_DROP_VIEW:
    case SQLITE_DROP_TEMP_INDEX:
    case SQLITE_DROP_TEMP_TABLE:
    case SQLITE_DROP_TEMP_TRIGGER:
    case SQLITE_DROP_TEMP_VIEW:
    case SQLITE_DROP_VTABLE:
      return "DROP";
    case SQLITE_CREATE_INDEX:
    case SQLITE_CREATE_TABLE:
    case SQLITE_CREATE_TRIGGER:
    case SQLITE_CREATE_VIEW:
    case SQLITE_CREATE_TEMP_INDEX:
    case SQLITE_CREATE_TEMP_TABLE:
    case SQLITE_CREATE_TEMP_TRIGGER:
    case SQLITE_CREATE_TEMP_VIEW:
    case SQLITE_CREATE_VTABLE:
      return "CREATE";
    case SQLITE_ALTER_TABLE:
      return "ALTER TABLE";
    default:
      return "a statement that changes the index";
  }
}

int authorize(void* data, int action, const char* first, const char* second, const char*,
              const char*) {
  switch (action) {
    case SQLITE_SELECT:
    case SQLITE_READ:
    case SQLITE_FUNCTION:
    case SQLITE_RECURSIVE:
      return SQLITE_OK;
    case SQLITE_PRAGMA:
      if (contains(kTellingPragmas, first)) return SQLITE_OK;
      if (second == nullptr && contains(kSettingPragmas, first)) return SQLITE_OK;
      break;
    default:
      break;
  }
  auto& refusal = *static_cast<Refusal*>(data);
  if (refusal.what) return SQLITE_DENY;
  // A row of the schema's own table is written by a DROP, CREATE or ALTER.
  const bool schema_row = first != nullptr && std::string_view(first).starts_with("sqlite_");
  if (schema_row && action == SQLITE_DELETE) {
    refusal.what = "DROP";
  } else if (schema_row && action == SQLITE_INSERT) {
    refusal.what = "CREATE";
  } else if (schema_row && action == SQLITE_UPDATE) {
    refusal.what = "ALTER TABLE";
  } else {
    refusal.what = action_name(action, first);
  }
  return SQLITE_DENY;
}

bool only_space_or_semicolons(std::string_view rest) {
  for (const char c : rest) {
    if (c != ';' && !std::isspace(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

}  // namespace

std::expected<Statement, std::string> prepare_read_only(Database& db, std::string_view sql) {
  Refusal refusal;
  (void)sqlite3_set_authorizer(db.get(), authorize, &refusal);
  std::string_view rest;
  auto statement = db.prepare(sql, &rest);
  (void)sqlite3_set_authorizer(db.get(), nullptr, nullptr);
  const auto refused = [&](const std::string& what) {
    return Failed("The index is opened only to read: " + what + " is refused.");
  };
  if (refusal.what) return refused(*refusal.what);
  if (!statement) return Failed("The query can't be run: " + statement.error());
  if (statement->get() == nullptr) return Failed("The query is empty.");
  if (!statement->read_only()) return refused("a statement that changes the index");
  if (!only_space_or_semicolons(rest)) {
    return Failed("Give one statement at a time: the query goes on after its first.");
  }
  return statement;
}

void append_csv_field(std::string& line, std::string_view text) {
  if (!text.empty() && text.find_first_of(",\"\r\n") == std::string_view::npos) {
    line += text;
    return;
  }
  line += '"';
  for (const char c : text) {
    if (c == '"') line += '"';
    line += c;
  }
  line += '"';
}

namespace {

void append_field(std::string& line, const Statement& statement, int column, TableFormat format) {
  switch (statement.type(column)) {
    case Statement::Type::null:
      return;
    case Statement::Type::blob: {
      const auto bytes = statement.blob(column);
      line += (format == TableFormat::csv ? "\\x" : "") + to_hex(bytes.data(), bytes.size());
      return;
    }
    default:
      break;
  }
  const std::string_view text = statement.text(column);
  if (format == TableFormat::csv) {
    append_csv_field(line, text);
  } else {
    line += one_line_text(text);
  }
}

void append_header(std::string& line, const Statement& statement, TableFormat format) {
  for (int column = 0; column < statement.column_count(); ++column) {
    if (column > 0) line += format == TableFormat::csv ? ',' : '\t';
    if (format == TableFormat::csv) {
      append_csv_field(line, statement.column_name(column));
    } else {
      line += one_line_text(statement.column_name(column));
    }
  }
  line += format == TableFormat::csv ? "\r\n" : "\n";
}

}  // namespace

std::expected<void, std::string> write_rows(Statement& statement, TableFormat format,
                                            const LineSink& out) {
  constexpr std::size_t kFlush = 64 * 1024;
  std::string lines;
  append_header(lines, statement, format);
  for (;;) {
    const auto row = statement.step();
    if (!row) return Failed("The query failed: " + row.error());
    if (!*row) break;
    for (int column = 0; column < statement.column_count(); ++column) {
      if (column > 0) lines += format == TableFormat::csv ? ',' : '\t';
      append_field(lines, statement, column, format);
    }
    lines += format == TableFormat::csv ? "\r\n" : "\n";
    if (lines.size() >= kFlush) {
      if (!out(lines)) return {};
      lines.clear();
    }
  }
  if (!lines.empty()) (void)out(lines);
  return {};
}

std::string find_query(bool prefix) {
  std::string sql = "WITH wanted AS MATERIALIZED (SELECT DISTINCT state_id FROM device_id WHERE ";
  sql += prefix ? "value LIKE ?1 ESCAPE '\\')" : "value = ?1)";
  sql += R"sql(
SELECT h.name AS host, s.taken_at, v.instance_id, v.description, v.driver_ver
FROM latest_snapshot AS s
JOIN host AS h ON h.host_id = s.host_id
JOIN report_device AS rd ON rd.report_id = s.report_id
JOIN device AS v ON v.state_id = rd.state_id
WHERE +rd.state_id IN wanted
ORDER BY h.name, v.instance_id)sql";
  return sql;
}

std::string like_prefix(std::string_view prefix) {
  std::string pattern;
  for (const char c : prefix) {
    if (c == '%' || c == '_' || c == '\\') pattern += '\\';
    pattern += c;
  }
  pattern += '%';
  return pattern;
}

}  // namespace qv
