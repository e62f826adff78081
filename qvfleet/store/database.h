// An SQLite connection and its prepared statements, as move-only owners that
// close on every path. Failures are values: the text of each is one sentence
// with SQLite's own words in it.
//
//   auto db = Database::open("fleet.db", Database::Mode::read_only);
//   auto statement = db->prepare("SELECT name FROM host WHERE host_id = ?1");
//   statement->bind(1, std::int64_t{7});
//   while (*statement->step()) use(statement->text(0));
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "unique_handle.h"

struct sqlite3;
struct sqlite3_stmt;

namespace qv {

struct SqliteTraits {
  using Handle = sqlite3*;
  static sqlite3* empty() noexcept { return nullptr; }
  static bool is_valid(sqlite3* handle) noexcept { return handle != nullptr; }
  static void close(sqlite3* handle) noexcept;
  static int last_error() noexcept { return 0; }
  static void set_last_error(int) noexcept {}
};

struct StatementTraits {
  using Handle = sqlite3_stmt*;
  static sqlite3_stmt* empty() noexcept { return nullptr; }
  static bool is_valid(sqlite3_stmt* handle) noexcept { return handle != nullptr; }
  static void close(sqlite3_stmt* handle) noexcept;
  static int last_error() noexcept { return 0; }
  static void set_last_error(int) noexcept {}
};

using Failed = std::unexpected<std::string>;

class Statement {
 public:
  enum class Type { integer, real, text, blob, null };

  Statement() = default;
  Statement(UniqueHandle<StatementTraits> handle, sqlite3* db)
      : handle_(std::move(handle)), db_(db) {}

  // Parameters are numbered from 1, as in the SQL's ?1.
  void bind(int index, std::int64_t value);
  void bind(int index, std::string_view text);
  void bind(int index, const std::string& text) { bind(index, std::string_view(text)); }
  void bind(int index, const char* text) { bind(index, std::string_view(text)); }
  void bind(int index, std::span<const std::uint8_t> blob);
  void bind(int index, std::nullopt_t);
  void bind(int index, const std::optional<std::string_view>& text);
  // True while there is a row; false at the end.
  [[nodiscard]] std::expected<bool, std::string> step();
  // Runs a statement that gives no rows to its end.
  [[nodiscard]] std::expected<void, std::string> run();
  // Runs an INSERT of one row: the row's rowid. Cheaper than RETURNING, with
  // which SQLite keeps a journal of the statement as for one of many rows.
  [[nodiscard]] std::expected<std::int64_t, std::string> insert();
  // Ready to run again with new parameters.
  void reset();

  [[nodiscard]] int column_count() const;
  [[nodiscard]] std::string_view column_name(int column) const;
  [[nodiscard]] Type type(int column) const;
  [[nodiscard]] std::int64_t integer(int column) const;
  [[nodiscard]] std::string_view text(int column) const;  // valid until the next step
  [[nodiscard]] std::optional<std::string_view> optional_text(int column) const;
  [[nodiscard]] std::span<const std::uint8_t> blob(int column) const;
  // Whether the statement leaves the database as it was.
  [[nodiscard]] bool read_only() const;
  [[nodiscard]] sqlite3_stmt* get() const { return handle_.get(); }

 private:
  UniqueHandle<StatementTraits> handle_;
  sqlite3* db_ = nullptr;
};

// Steps the statement, as bound, to its end and hands each row to `row`; the
// statement is reset after, whatever happens.
template <typename Row>
std::expected<void, std::string> each_row(Statement& statement, Row&& row) {
  for (;;) {
    const auto next = statement.step();
    if (!next) {
      statement.reset();
      return Failed(next.error());
    }
    if (!*next) break;
    row(std::as_const(statement));
  }
  statement.reset();
  return {};
}

class Database {
 public:
  // immutable: read only, as a file that nothing changes meanwhile, without
  // the locks and shared memory that other connections would need.
  enum class Mode { read_only, read_write, immutable };

  // `path` is UTF-8. A database opened to write is created when missing.
  [[nodiscard]] static std::expected<Database, std::string> open(const std::string& path,
                                                                 Mode mode);
  // One or more statements that give no rows.
  [[nodiscard]] std::expected<void, std::string> execute(std::string_view sql);
  // The first statement of `sql`; `rest`, when given, receives what follows it.
  [[nodiscard]] std::expected<Statement, std::string> prepare(std::string_view sql,
                                                              std::string_view* rest = nullptr);
  // Whether the last failure was another connection's lock.
  [[nodiscard]] bool busy() const;
  // Whether the last failure was a connection opened to read that could not
  // make or open the files a WAL database shares beside it.
  [[nodiscard]] bool cannot_share() const;
  // Whether the last connection to close leaves the WAL as it is rather than
  // copying it into the database; SQLite copies it by default.
  void keep_log_on_close(bool keep);
  // Whether the connection may only read, whatever it was opened for: SQLite
  // opens a file the user may not write to for reading alone.
  [[nodiscard]] bool read_only() const;
  // Whether a transaction is open; outside one, each statement commits at once.
  [[nodiscard]] bool in_transaction() const;
  [[nodiscard]] sqlite3* get() const { return handle_.get(); }

 private:
  explicit Database(UniqueHandle<SqliteTraits> handle) : handle_(std::move(handle)) {}
  UniqueHandle<SqliteTraits> handle_;
};

// SQLite's words for an error, made a sentence: "database is locked" becomes
// "Database is locked.".
[[nodiscard]] std::string sentence(std::string_view words);

}  // namespace qv
