#include "database.h"

#include <sqlite3.h>

#include <cctype>

namespace qv {

void SqliteTraits::close(sqlite3* handle) noexcept { (void)sqlite3_close_v2(handle); }
void StatementTraits::close(sqlite3_stmt* handle) noexcept { (void)sqlite3_finalize(handle); }

std::string sentence(std::string_view words) {
  std::string text(words);
  if (text.empty()) return "Unknown error.";
  text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
  if (text.back() != '.') text += '.';
  return text;
}

namespace {

Failed failure(sqlite3* db) { return Failed(sentence(sqlite3_errmsg(db))); }

// "file:" and the path with every byte that could mean something in a URI
// escaped, so that any path names its file.
std::string file_uri(std::string_view path) {
  constexpr char kHex[] = "0123456789ABCDEF";
  std::string uri = "file:";
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte) || c == '/' || c == '-' || c == '.' || c == '_' || c == '~') {
      uri += c;
    } else {
      uri += '%';
      uri += kHex[byte >> 4];
      uri += kHex[byte & 0xF];
    }
  }
  return uri;
}

}  // namespace

void Statement::bind(int index, std::int64_t value) {
  (void)sqlite3_bind_int64(handle_.get(), index, value);
}

void Statement::bind(int index, std::string_view text) {
  (void)sqlite3_bind_text64(handle_.get(), index, text.data(), text.size(), SQLITE_TRANSIENT,
                            SQLITE_UTF8);
}

void Statement::bind(int index, std::span<const std::uint8_t> blob) {
  (void)sqlite3_bind_blob64(handle_.get(), index, blob.data(), blob.size(), SQLITE_TRANSIENT);
}

void Statement::bind(int index, std::nullopt_t) { (void)sqlite3_bind_null(handle_.get(), index); }

void Statement::bind(int index, const std::optional<std::string_view>& text) {
  if (text) {
    bind(index, *text);
  } else {
    bind(index, std::nullopt);
  }
}

std::expected<bool, std::string> Statement::step() {
  const int result = sqlite3_step(handle_.get());
  if (result == SQLITE_ROW) return true;
  if (result == SQLITE_DONE) return false;
  return failure(db_);
}

std::expected<void, std::string> Statement::run() {
  for (;;) {
    const auto row = step();
    if (!row) {
      // Ready for the next run: a statement left failed takes no new parameters.
      reset();
      return Failed(row.error());
    }
    if (!*row) break;
  }
  reset();
  return {};
}

std::expected<std::int64_t, std::string> Statement::insert() {
  if (auto ran = run(); !ran) return Failed(ran.error());
  return sqlite3_last_insert_rowid(db_);
}

void Statement::reset() {
  (void)sqlite3_reset(handle_.get());
  (void)sqlite3_clear_bindings(handle_.get());
}

int Statement::column_count() const { return sqlite3_column_count(handle_.get()); }

std::string_view Statement::column_name(int column) const {
  const char* name = sqlite3_column_name(handle_.get(), column);
  return name == nullptr ? std::string_view() : std::string_view(name);
}

Statement::Type Statement::type(int column) const {
  switch (sqlite3_column_type(handle_.get(), column)) {
    case SQLITE_INTEGER:
      return Type::integer;
    case SQLITE_FLOAT:
      return Type::real;
    case SQLITE_TEXT:
      return Type::text;
    case SQLITE_BLOB:
      return Type::blob;
    default:
      return Type::null;
  }
}

std::int64_t Statement::integer(int column) const {
  return sqlite3_column_int64(handle_.get(), column);
}

std::string_view Statement::text(int column) const {
  const auto* bytes = sqlite3_column_text(handle_.get(), column);
  const int size = sqlite3_column_bytes(handle_.get(), column);
  if (bytes == nullptr) return {};
  return {reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(size)};
}

std::optional<std::string_view> Statement::optional_text(int column) const {
  if (type(column) == Type::null) return std::nullopt;
  return text(column);
}

std::span<const std::uint8_t> Statement::blob(int column) const {
  const void* bytes = sqlite3_column_blob(handle_.get(), column);
  const int size = sqlite3_column_bytes(handle_.get(), column);
  if (bytes == nullptr) return {};
  return {static_cast<const std::uint8_t*>(bytes), static_cast<std::size_t>(size)};
}

bool Statement::read_only() const { return sqlite3_stmt_readonly(handle_.get()) != 0; }

std::expected<Database, std::string> Database::open(const std::string& path, Mode mode) {
  int flags = SQLITE_OPEN_READONLY;
  std::string name = path;
  if (mode == Mode::read_write) flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
  if (mode == Mode::immutable) {
    flags |= SQLITE_OPEN_URI;
    name = file_uri(path) + "?immutable=1";
  }
  sqlite3* raw = nullptr;
  const int result = sqlite3_open_v2(name.c_str(), &raw, flags | SQLITE_OPEN_NOMUTEX, nullptr);
  UniqueHandle<SqliteTraits> handle(raw);
  if (result != SQLITE_OK) {
    return Failed(raw == nullptr ? "Out of memory." : sentence(sqlite3_errmsg(raw)));
  }
  // The same rules on every platform, whatever the library's defaults: double
  // quotes name columns, never strings, and no SQL may load a library or write
  // the schema by hand.
  (void)sqlite3_db_config(raw, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
  (void)sqlite3_db_config(raw, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
  (void)sqlite3_db_config(raw, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
  (void)sqlite3_db_config(raw, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
  (void)sqlite3_extended_result_codes(raw, 1);
  return Database(std::move(handle));
}

std::expected<void, std::string> Database::execute(std::string_view sql) {
  while (!sql.empty()) {
    std::string_view rest;
    auto statement = prepare(sql, &rest);
    if (!statement) return Failed(statement.error());
    if (statement->get() != nullptr) {
      if (auto ran = statement->run(); !ran) return ran;
    }
    sql = rest;
  }
  return {};
}

std::expected<Statement, std::string> Database::prepare(std::string_view sql,
                                                        std::string_view* rest) {
  sqlite3_stmt* raw = nullptr;
  const char* tail = nullptr;
  const int result = sqlite3_prepare_v3(handle_.get(), sql.data(), static_cast<int>(sql.size()),
                                        SQLITE_PREPARE_PERSISTENT, &raw, &tail);
  UniqueHandle<StatementTraits> handle(raw);
  if (result != SQLITE_OK) return failure(handle_.get());
  if (rest != nullptr) *rest = sql.substr(static_cast<std::size_t>(tail - sql.data()));
  return Statement(std::move(handle), handle_.get());
}

bool Database::busy() const {
  const int code = sqlite3_errcode(handle_.get()) & 0xFF;
  return code == SQLITE_BUSY || code == SQLITE_LOCKED;
}

void Database::keep_log_on_close(bool keep) {
  (void)sqlite3_db_config(handle_.get(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, keep ? 1 : 0, nullptr);
}

bool Database::in_transaction() const { return sqlite3_get_autocommit(handle_.get()) == 0; }

bool Database::read_only() const { return sqlite3_db_readonly(handle_.get(), "main") == 1; }

bool Database::cannot_share() const {
  const int code = sqlite3_errcode(handle_.get()) & 0xFF;
  return code == SQLITE_READONLY || code == SQLITE_CANTOPEN || code == SQLITE_PROTOCOL;
}

}  // namespace qv
