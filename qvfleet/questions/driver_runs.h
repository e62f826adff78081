// The drivers that the hosts' latest snapshots run, as the questions count them.
// A driver is its provider and description: Windows publishes a vendor's package
// as oem<N>.inf, N counted per machine, so the same package at the same version
// is oem12.inf on one machine and oem57.inf on the next. A version is the
// driver's four numbers, then its date; a host counts once for each version it
// runs, however many of its devices or INF names run it.
//
// The rows come from SQL, and are grouped here: on a fleet of 10,000 hosts,
// SQLite's sort of a million (host, driver) pairs took three times as long.
// docs/fleet.md has the same questions in SQL (kDriversQuery, kBehindQuery),
// which the tests hold to the same answers.
//
//   auto runs = read_driver_runs(db, "intel");
//   for (const DriverVersionCount& version : count_versions(*runs)) ...
#pragma once

#include <array>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "database.h"
#include "queries.h"

namespace qv {

// A row of the driver table.
struct DriverRow {
  std::optional<std::string> provider;
  std::string description;
  std::optional<std::string> inf;
  std::string version;
  std::optional<std::string> date;
  std::array<std::int64_t, 4> numbers{};
  std::size_t driver = 0;         // the place of its driver's first row
  std::size_t version_first = 0;  // the place of its version's first row
};

struct RunningHost {
  std::string name;
  std::string last_seen;
  std::vector<std::size_t> rows;  // the driver rows it runs, ascending
};

struct DriverRuns {
  // By provider, description, numbers and date newest first: a driver's rows and
  // each version's rows stand together.
  std::vector<DriverRow> rows;
  // By name; each with only the rows of the drivers that match the text.
  std::vector<RunningHost> hosts;
};

// The drivers whose provider, description, an INF they are published as or a
// device id they matched holds `text` (without regard to ASCII case), or all.
[[nodiscard]] std::expected<DriverRuns, std::string> read_driver_runs(
    Database& db, const std::optional<std::string>& text);

struct DriverVersionCount {
  const DriverRow* row = nullptr;  // the version's first row
  // Its INF where every host that runs it has the same name; else how many names,
  // "oem*.inf (57 names)" when all have that form, "2 names" otherwise.
  std::optional<std::string> inf;
  std::int64_t hosts = 0;
};

// Each version that some host runs, in the order of `runs.rows`.
[[nodiscard]] std::vector<DriverVersionCount> count_versions(const DriverRuns& runs);

// `drivers`: provider, description, inf, version, date, hosts.
[[nodiscard]] std::expected<void, std::string> write_drivers(Database& db,
                                                             const std::optional<std::string>& text,
                                                             TableFormat format,
                                                             const LineSink& out);

// `behind`: the hosts that run a version older, by its numbers, than `version`, or
// than the newest version any host runs of that driver; by driver, oldest first.
[[nodiscard]] std::expected<void, std::string> write_behind(
    Database& db, const std::optional<std::string>& text,
    const std::optional<std::array<std::int64_t, 4>>& version, TableFormat format,
    const LineSink& out);

// The ids of a JSON list of integers as the index writes them, "[3,17,20]"; none
// for any other text.
[[nodiscard]] std::optional<std::vector<std::int64_t>> id_list(std::string_view json);

}  // namespace qv
