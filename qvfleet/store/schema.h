// The fleet index's tables and views, as docs/fleet.md documents them for the
// people who write their own SQL, and the opening of an index: made when new,
// checked to be one of ours when it exists.
//
//   auto db = open_index("fleet.db", IndexAccess::write);
#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>

#include "database.h"

namespace qv {

// Marks a database as a fleet index ("qvf1"); the schema's version stands beside it.
inline constexpr std::int64_t kApplicationId = 0x71766631;
inline constexpr std::int64_t kSchemaVersion = 4;

// The tables and views, in the order they are made.
[[nodiscard]] std::string index_schema();
// The same with report_device and report_driver as tables beside the report's
// lists, for a copy in a database that reads no JSON lists (PostgreSQL).
[[nodiscard]] std::string index_schema_with_tables();

enum class IndexAccess { read, write };

// What open_index says when another run kept the index locked all the while.
inline constexpr std::string_view kIndexBusy = "Another run is writing it.";

// An index opened to write is made when the file is new or empty, brought to
// this version in place when it is of an earlier one, and is in WAL mode, so that
// queries run while it is written; while another run holds it, the opening
// waits up to ten seconds, then gives up with kIndexBusy. A database that is
// not a fleet index, or an index of a newer version, is refused with a
// sentence saying so before anything is written to it; one of an earlier version
// is refused to a reader, with the advice to index once. An index the user can
// only read, in a folder where its shared-memory file can't be made, is read
// as a file that nothing changes when no log of a write lies beside it.
[[nodiscard]] std::expected<Database, std::string> open_index(const std::string& path,
                                                              IndexAccess access);

// Opens an index in memory, made anew: for tests and the fuzzer.
[[nodiscard]] std::expected<Database, std::string> open_memory_index();

}  // namespace qv
