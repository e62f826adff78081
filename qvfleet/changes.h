// What changed on each host between its consecutive snapshots, newest first, in
// qvdiff's words: each pair of snapshots for which qvdiff prints something gets
// a heading line
//
//   between   2026-12-06T06:00:00Z 2026-12-07T06:00:00Z PC-00017
//
// and then exactly what qvdiff prints for the two reports. Snapshots follow one
// another in the order of their files' last writes.
#pragma once

#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "database.h"
#include "queries.h"

namespace qv {

// `since`: only the pairs whose newer snapshot was taken then or later, as the
// index writes times ("2026-12-01" or "2026-12-01T06:00:00Z").
[[nodiscard]] std::expected<void, std::string> write_changes(Database& db,
                                                             std::optional<std::string> since,
                                                             const LineSink& out);

}  // namespace qv
