// What a command may write over. The page and the export write files whose
// names a person types, and a typo must not cost them their index: before
// anything is written, each file to be replaced is checked, following any link
// it is, and refused if it is the index being read (however its path is
// spelled, its -wal, -shm and -journal included), any SQLite database or
// journal, or a file that can't be read to tell. The page replaces
// only pages, and says how they begin.
//
//   if (auto allowed = check_output(file, index_file(db), kind); !allowed)
//     return "Couldn't write " + shown + ": " + allowed.error();
#pragma once

#include <expected>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "database.h"

namespace qv {

// The file the database was opened from; empty for one in memory.
[[nodiscard]] std::filesystem::path index_file(const Database& db);

// Nothing when `output` may be replaced, or why not, as the end of a sentence
// ("that is the index itself."). With `page_start`, only an empty file or a
// page, which starts with these bytes, is replaced; without, any file that is
// no database is.
[[nodiscard]] std::expected<void, std::string> check_output(
    const std::filesystem::path& output, const std::filesystem::path& index,
    std::optional<std::string_view> page_start = std::nullopt);

}  // namespace qv
