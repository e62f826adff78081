// What changed on each host between its consecutive snapshots, newest first, in
// qvdiff's words: each pair of snapshots for which qvdiff prints something gets
// a heading line
//
//   between   2026-12-06T06:00:00Z 2026-12-07T06:00:00Z PC-00017
//
// and then exactly what qvdiff prints for the two reports. Snapshots follow one
// another in the order of their files' last writes.
#pragma once

#include <cstdint>
#include <expected>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "database.h"
#include "queries.h"

namespace qv {

// `since`: only the pairs whose newer snapshot was taken then or later, as the
// index writes times ("2026-12-01" or "2026-12-01T06:00:00Z"); `host`: only the
// pairs of the host of that name.
[[nodiscard]] std::expected<void, std::string> write_changes(
    Database& db, std::optional<std::string> since, const LineSink& out,
    std::optional<std::string> host = std::nullopt);

// A pair of consecutive snapshots of a host for which qvdiff prints something,
// and what it prints for them (without write_changes's heading line).
struct SnapshotChange {
  std::int64_t older_snapshot = 0;
  std::int64_t newer_snapshot = 0;
  std::int64_t older_report = 0;
  std::int64_t newer_report = 0;
  std::string_view differences;  // valid during the call only
};

// Hands `take` each such pair of the whole index, in write_changes's order, so
// that what is counted from them agrees with what `changes` prints.
[[nodiscard]] std::expected<void, std::string> each_change(
    Database& db, const std::function<void(const SnapshotChange&)>& take);

}  // namespace qv
