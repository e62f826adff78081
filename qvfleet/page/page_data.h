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
// oldest snapshots' changes, then the devices' ids, and only then the devices and
// snapshots of every host, so that a browser still opens it quickly
// (docs/performance.md has the figures).
struct PageBudget {
  // The data as the page holds it, packed (page_pack.h): 7.5 MB, or 3,500 bytes a
  // host for a fleet of more than 2,142 hosts, so that a 1,000-host page stays
  // under 8 MB and a 10,000-host one under 40 MB.
  std::size_t packed = 0;
  // The JSON the browser unpacks and reads before it draws anything: 40 MB, or
  // 6,000 bytes a host for a fleet of more than 6,666 hosts. Packing lets far more
  // into a page than a browser reads in its time to be usable (1 s for 1,000 hosts,
  // 3 s for 10,000), and that time grows with the JSON, not the packed bytes: in
  // Chromium on 2 cores, 35.6 MB of a 1,000-host month was usable in 0.78 s, 24.8 MB
  // of 10,000 hosts in 1.16 s.
  std::size_t opened = 0;
};
inline constexpr std::size_t kDetailsBudget = 7'500'000;
inline constexpr std::size_t kDetailsBudgetPerHost = 3'500;
inline constexpr std::size_t kOpenedBudget = 40'000'000;
inline constexpr std::size_t kOpenedBudgetPerHost = 6'000;

// The budget of a page of `hosts` hosts.
[[nodiscard]] PageBudget page_budget(std::size_t hosts);

struct PageOptions {
  std::string title = "qv fleet";
  std::optional<PageBudget> budget;  // none: page_budget's for the fleet's size
};

struct PageData {
  std::string json;
  std::string packed;  // as the page holds it (page_pack.h)
  std::int64_t hosts = 0;
  std::int64_t snapshots = 0;
  std::int64_t drivers = 0;  // that the latest snapshots run, as `drivers` counts them
};

// Reads everything in a few passes, one a table; the caller holds the read
// transaction that makes it one moment. A failure is SQLite's sentence.
[[nodiscard]] std::expected<PageData, std::string> read_page_data(Database& db,
                                                                  const PageOptions& options);

}  // namespace qv
