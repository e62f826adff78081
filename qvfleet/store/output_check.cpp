#include "output_check.h"

#include <sqlite3.h>

#include <algorithm>
#include <fstream>
#include <system_error>

#include "export_file.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

// The files SQLite keeps beside a database while it is open, or after a crash.
constexpr std::string_view kIndexCompanions[] = {"", "-wal", "-shm", "-journal"};

// How SQLite's files begin: a database, a write-ahead log (two byte orders of
// checksums) and a rollback journal.
constexpr std::string_view kDatabaseStart{"SQLite format 3\0", 16};
constexpr std::string_view kJournalStarts[] = {
    {"\x37\x7f\x06\x82", 4}, {"\x37\x7f\x06\x83", 4}, {"\xd9\xd5\x05\xf9\x20\xa1\x63\xd7", 8}};

// Whether two paths name one file: one spelling once links, "." and ".." are
// resolved, or one file on disk (a hard link, a name that differs only in case
// where the file system ignores it).
bool same_file(const fs::path& a, const fs::path& b) {
  std::error_code a_error;
  std::error_code b_error;
  const fs::path a_full = fs::weakly_canonical(a, a_error);
  const fs::path b_full = fs::weakly_canonical(b, b_error);
  if (!a_error && !b_error && a_full == b_full) return true;
  std::error_code error;
  return fs::equivalent(a, b, error) && !error;
}

bool is_index(const fs::path& output, const fs::path& index) {
  if (index.empty()) return false;
  return std::ranges::any_of(kIndexCompanions, [&](std::string_view suffix) {
    fs::path companion = index;
    companion += std::string(suffix);
    return same_file(output, companion);
  });
}

// The first bytes of the file, as many as there are up to `size`; none when it
// can't be read.
std::optional<std::string> first_bytes(const fs::path& file, std::size_t size) {
  std::ifstream in(file, std::ios::binary);
  if (!in.is_open()) return std::nullopt;
  std::string bytes(size, '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(size));
  bytes.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
  return bytes;
}

}  // namespace

fs::path index_file(const Database& db) {
  const char* name = sqlite3_db_filename(db.get(), "main");
  if (name == nullptr) return {};
  const std::string_view text(name);
  return fs::path(std::u8string(text.begin(), text.end()));
}

std::expected<void, std::string> check_output(const fs::path& output, const fs::path& index,
                                              std::optional<std::string_view> page_start) {
  if (is_index(output, index)) return std::unexpected("that is the index itself.");
  const fs::path file = named_file(output);
  std::error_code error;
  const fs::file_status status = fs::status(file, error);
  // A folder is no file to lose: putting the new file in its place fails, and
  // the system says why.
  if (!fs::exists(status) || fs::is_directory(status)) return {};
  const auto read =
      first_bytes(file, std::max(kDatabaseStart.size(), page_start.value_or("").size()));
  if (!read) return std::unexpected("it can't be read to tell what it is.");
  const std::string& start = *read;
  if (start.starts_with(kDatabaseStart)) return std::unexpected("that is an SQLite database.");
  for (const std::string_view journal : kJournalStarts) {
    if (start.starts_with(journal)) return std::unexpected("that is an SQLite database's journal.");
  }
  if (page_start && !start.empty() && !start.starts_with(*page_start)) {
    return std::unexpected("that is not a page that qvfleet made.");
  }
  return {};
}

}  // namespace qv
