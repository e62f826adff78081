#include "queries.h"

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <optional>

#include "report_format.h"
#include "sha256.h"

namespace qv {
namespace {

// PRAGMAs that only tell, with or without a value in parentheses (a table's or an
// index's name, how many faults to list). Each also stands as a table-valued function,
// pragma_table_info('host'), whose PRAGMA the statement runs as it steps.
constexpr std::array<std::string_view, 17> kTellingPragmas = {
    "table_info",    "table_xinfo",  "table_list",        "index_list",      "index_info",
    "index_xinfo",   "foreign_key_list", "foreign_key_check", "database_list", "collation_list",
    "function_list", "module_list",  "pragma_list",       "compile_options", "integrity_check",
    "quick_check",   "data_version"};
// PRAGMAs that tell their setting when asked without a value, and set it with one.
constexpr std::array<std::string_view, 32> kSettingPragmas = {
    "analysis_limit",     "application_id",  "auto_vacuum",        "automatic_index",
    "busy_timeout",       "cache_size",      "cache_spill",        "cell_size_check",
    "checkpoint_fullfsync", "defer_foreign_keys", "encoding",      "foreign_keys",
    "freelist_count",     "fullfsync",       "hard_heap_limit",    "ignore_check_constraints",
    "journal_mode",       "journal_size_limit", "legacy_alter_table", "locking_mode",
    "max_page_count",     "mmap_size",       "page_count",         "page_size",
    "query_only",         "read_uncommitted", "recursive_triggers", "schema_version",
    "secure_delete",      "synchronous",     "temp_store",         "user_version"};
// Functions that hand out where the program's memory lies, which a query has no use for:
// fts3_tokenizer returns a pointer in a build with full-text search (ours has none).
constexpr std::array<std::string_view, 1> kRefusedFunctions = {"fts3_tokenizer"};

// SQLite hands a PRAGMA's name on as the query writes it.
bool contains(std::span<const std::string_view> names, const char* name) {
  if (name == nullptr) return false;
  const std::string_view wanted(name);
  for (const std::string_view known : names) {
    if (known.size() != wanted.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < known.size() && same; ++i) {
      same = std::tolower(static_cast<unsigned char>(wanted[i])) == known[i];
    }
    if (same) return true;
  }
  return false;
}

// What the authorizer refused first, for the message, and whether it let a PRAGMA
// that only tells through.
struct Refusal {
  std::optional<std::string> message;
  bool telling_pragma = false;
};

std::string refused(const std::string& what) {
  return "The index is opened only to read: " + what + " is refused.";
}

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
    case SQLITE_ANALYZE:
      return "ANALYZE";
    case SQLITE_REINDEX:
      return "REINDEX";
    default:
      return "a statement that changes the index";
  }
}

bool allowed(int action, const char* first, const char* second) {
  switch (action) {
    case SQLITE_SELECT:
    case SQLITE_READ:
    case SQLITE_RECURSIVE:
      return true;
    case SQLITE_FUNCTION:
      return !contains(kRefusedFunctions, second);
    case SQLITE_PRAGMA:
      return contains(kTellingPragmas, first) ||
             (second == nullptr && contains(kSettingPragmas, first));
    case SQLITE_UPDATE:
      // SQLite declares a table-valued function's columns with a CREATE TABLE whose
      // UPDATE of sqlite_master it asks about and never runs. A statement that would
      // write the schema is refused all the same: ALTER TABLE by its own action, an
      // UPDATE of sqlite_master by SQLite, anything else by the check of its writes.
      return first != nullptr && std::string_view(first) == "sqlite_master";
    default:
      return false;
  }
}

std::string refusal_message(int action, const char* first, const char* second) {
  if (action == SQLITE_FUNCTION) {
    return "The function " + std::string(second != nullptr ? second : "") +
           " is refused: it tells where the program's memory lies.";
  }
  // A row of the schema's own table is written by a DROP or a CREATE.
  const bool schema_row = first != nullptr && std::string_view(first).starts_with("sqlite_");
  if (schema_row && action == SQLITE_DELETE) return refused("DROP");
  if (schema_row && action == SQLITE_INSERT) return refused("CREATE");
  return refused(action_name(action, first));
}

// With no Refusal to fill, it only refuses: so it stays on the connection while the
// statement runs, and holds a PRAGMA that a table-valued function runs to the same rule.
int authorize(void* data, int action, const char* first, const char* second, const char*,
              const char*) {
  auto* refusal = static_cast<Refusal*>(data);
  if (allowed(action, first, second)) {
    if (refusal != nullptr && action == SQLITE_PRAGMA) refusal->telling_pragma = true;
    return SQLITE_OK;
  }
  // ANALYZE first creates the table of its statistics: it is named for itself.
  if (refusal != nullptr && (!refusal->message || action == SQLITE_ANALYZE)) {
    refusal->message = refusal_message(action, first, second);
  }
  return SQLITE_DENY;
}

// Whether what follows the first statement holds no other: only white space,
// semicolons and comments, which SQLite ends at a line feed ("--") or at "*/" or
// the end of the text ("/*").
bool no_more_statements(std::string_view rest) {
  while (!rest.empty()) {
    std::size_t skipped = 1;
    if (rest.starts_with("--")) {
      skipped = std::min(rest.find('\n'), rest.size());
    } else if (rest.starts_with("/*")) {
      skipped = std::min(rest.find("*/", 2), rest.size() - 2) + 2;
    } else if (rest.front() != ';' && !std::isspace(static_cast<unsigned char>(rest.front()))) {
      return false;
    }
    rest.remove_prefix(skipped);
  }
  return true;
}

}  // namespace

std::expected<Statement, std::string> prepare_read_only(Database& db, std::string_view sql) {
  Refusal refusal;
  (void)sqlite3_set_authorizer(db.get(), authorize, &refusal);
  std::string_view rest;
  auto statement = db.prepare(sql, &rest);
  (void)sqlite3_set_authorizer(db.get(), authorize, nullptr);
  if (refusal.message) return Failed(*refusal.message);
  if (!statement) return Failed("The query can't be run: " + statement.error());
  if (statement->get() == nullptr) return Failed("The query is empty.");
  // SQLite counts a PRAGMA that may set as writing even when it is asked without a value.
  if (!statement->read_only() && !refusal.telling_pragma) {
    return Failed(refused("a statement that changes the index"));
  }
  if (!no_more_statements(rest)) {
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

// TSV and CSV carry the same text: a control character a space and bytes that are
// not UTF-8 U+FFFD, which every CSV reader takes; CSV only adds its quoting.
void append_text(std::string& line, std::string_view text, TableFormat format) {
  // Printable ASCII, which one_line_text leaves as it is, is most of what is written:
  // a million rows of `behind` took half as long again made over.
  const bool plain = std::ranges::all_of(text, [](char c) { return c >= 0x20 && c < 0x7F; });
  if (plain && format == TableFormat::csv) {
    append_csv_field(line, text);
  } else if (plain) {
    line += text;
  } else if (format == TableFormat::csv) {
    append_csv_field(line, one_line_text(text));
  } else {
    line += one_line_text(text);
  }
}

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
      append_text(line, statement.text(column), format);
      return;
  }
}

void append_header(std::string& line, const Statement& statement, TableFormat format) {
  for (int column = 0; column < statement.column_count(); ++column) {
    if (column > 0) line += format == TableFormat::csv ? ',' : '\t';
    append_text(line, statement.column_name(column), format);
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

void TableLines::row(std::initializer_list<std::optional<std::string_view>> fields) {
  bool first = true;
  for (const auto& field : fields) {
    if (!first) lines_ += format_ == TableFormat::csv ? ',' : '\t';
    first = false;
    if (field) append_text(lines_, *field, format_);
  }
  lines_ += format_ == TableFormat::csv ? "\r\n" : "\n";
  if (lines_.size() >= 64 * 1024) (void)finish();
}

bool TableLines::finish() {
  if (open_ && !lines_.empty()) open_ = out_(lines_);
  lines_.clear();
  return open_;
}

std::string find_query(bool prefix) {
  std::string sql =
      "WITH wanted AS MATERIALIZED (SELECT DISTINCT j.value FROM device_id_states AS d, "
      "json_each(d.state_ids) AS j WHERE ";
  sql += prefix ? "d.value LIKE ?1 ESCAPE '\\')" : "d.value = ?1)";
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
