// The index as files for a server database: one CSV file a table (RFC 4180,
// UTF-8, a header line; an unquoted empty field is null, "" an empty text, a
// blob \x and hexadecimal), schema.sql, which makes the same tables and views in
// PostgreSQL, and load.sql, which loads the CSV files into them with psql.
// Values go as they are, but for what PostgreSQL's text can't hold (a NUL, a
// byte that is not UTF-8: U+FFFD each), and are written so that psql's \copy
// loads them whatever they hold.
//
//   export_index(db, "fleet-export");  // then: cd fleet-export && psql -f schema.sql -f load.sql
#pragma once

#include <expected>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "database.h"

namespace qv {

// The tables in the order they are loaded: each after the ones it refers to.
[[nodiscard]] const std::vector<std::string_view>& exported_tables();

// The PostgreSQL schema that schema.sql holds.
[[nodiscard]] std::string postgresql_schema();

// Writes the files into `folder`, made when missing; files of the same names
// are replaced, each whole or not at all, but none is written where one of them
// is the index or another SQLite database. The tables are of one moment. load.sql
// is removed first and written last: a folder that holds it holds a whole
// export. On failure, the sentence that says why, naming the file and the
// system's reason, on one line.
[[nodiscard]] std::expected<void, std::string> export_index(Database& db,
                                                            const std::filesystem::path& folder);

}  // namespace qv
