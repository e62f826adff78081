// What the page shows, read from an index at one moment and written as the one
// JSON object the page's script draws itself from ("fleet-data"). Its numbers
// are those of `hosts`, `drivers`, `find` and `changes`; its order is total, and
// it holds no time but the index's own, so one index gives the same bytes on
// every system and at every run.
//
//   db.execute("BEGIN");
//   auto data = read_page_data(db, {.title = "Plant 3"});
//   db.execute("COMMIT");
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>

#include "database.h"

namespace qv {

// Each host's devices, snapshots and changes make most of a page, and a host's
// own devices (volumes, audio endpoints, USB serial numbers) are shown once per
// host: when the data would pass its budget with them, the page leaves out the
// devices' ids (when even without changes it would pass), the oldest snapshots'
// changes, and only then the devices and snapshots of every host,
// so that a browser still opens it quickly (docs/performance.md has the figures).
// The budget is 7.5 MB, or 3,500 bytes a host for a fleet of more than 2,142
// hosts: a 1,000-host page stays under 8 MB, a 10,000-host one under 40 MB.
inline constexpr std::size_t kDetailsBudget = 7'500'000;
inline constexpr std::size_t kDetailsBudgetPerHost = 3'500;

struct PageOptions {
  std::string title = "qv fleet";
  std::optional<std::size_t> details_budget;  // none: the one above for the fleet's size
};

struct PageData {
  std::string json;
  std::int64_t hosts = 0;
  std::int64_t snapshots = 0;
  std::int64_t drivers = 0;  // that the latest snapshots run, as `drivers` counts them
};

// Reads everything in a few passes, one a table; the caller holds the read
// transaction that makes it one moment. A failure is SQLite's sentence.
[[nodiscard]] std::expected<PageData, std::string> read_page_data(Database& db,
                                                                  const PageOptions& options);

}  // namespace qv
