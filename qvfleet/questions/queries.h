// The questions asked of a fleet index: any read-only SQL, and the canned
// questions, each one SQL query over the latest snapshot of every host, with its
// values bound as parameters. docs/fleet.md shows each query as it stands here.
// `drivers`, `behind` and `nodriver` are answered by driver_runs.h and
// no_driver.h, faster on a large fleet; their queries here give the same rows.
//
//   auto rows = prepare_read_only(db, "SELECT name FROM host");
//   write_rows(*rows, TableFormat::tsv, out);
#pragma once

#include <expected>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include "database.h"

namespace qv {

inline constexpr std::string_view kHostsQuery = R"sql(SELECT h.name AS host, s.taken_at, r.os, r.arch, r.server, r.devices, r.no_driver
FROM latest_snapshot AS s
JOIN host AS h ON h.host_id = s.host_id
JOIN report AS r ON r.report_id = s.report_id
ORDER BY h.name)sql";

// `drivers`: each version (numbers, then date) of each driver (provider and
// description), newest first, with the hosts whose latest snapshot runs it, each
// once; its INF where every such host has the same name, else how many names, as
// "oem*.inf (57 names)" when all of them have that form. A driver matches when its
// provider, description, an INF it is published as or a device id it matched
// holds the text.
// ?1: the text to look for, or null for every driver.
inline constexpr std::string_view kDriversQuery = R"sql(WITH driver_row AS MATERIALIZED (
  SELECT d.driver_id,
         min(d.driver_id) OVER (PARTITION BY d.provider, d.description, d.version, d.date) AS version_id,
         max(?1 IS NULL
             OR instr(lower(d.provider), lower(?1)) > 0
             OR instr(lower(d.description), lower(?1)) > 0
             OR instr(lower(d.inf), lower(?1)) > 0
             OR d.driver_id IN (SELECT driver_id FROM device_state
                                WHERE instr(lower(driver_matching_id), lower(?1)) > 0))
           OVER (PARTITION BY d.provider, d.description) AS wanted
  FROM driver AS d)
SELECT d.provider, d.description, c.inf, d.version, d.date, c.hosts
FROM (SELECT v.version_id, count(DISTINCT s.host_id) AS hosts,
             CASE WHEN count(DISTINCT i.inf) + max(i.inf IS NULL) <= 1 THEN min(i.inf)
                  WHEN max(i.inf IS NULL) = 0 AND min(lower(i.inf) GLOB 'oem*.inf') = 1
                  THEN 'oem*.inf (' || count(DISTINCT i.inf) || ' names)'
                  ELSE (count(DISTINCT i.inf) + max(i.inf IS NULL)) || ' names' END AS inf
      FROM latest_snapshot AS s
      JOIN report_driver AS rd ON rd.report_id = s.report_id
      JOIN driver_row AS v ON v.driver_id = rd.driver_id
      JOIN driver AS i ON i.driver_id = rd.driver_id
      WHERE v.wanted
      GROUP BY v.version_id) AS c
JOIN driver AS d ON d.driver_id = c.version_id
ORDER BY d.provider, d.description, d.v1 DESC, d.v2 DESC, d.v3 DESC, d.v4 DESC, d.date DESC)sql";

// `drivers --by-inf`: a row per INF as each machine names it, as 1.1.0 listed drivers.
// ?1: the text to look for, or null for every driver.
inline constexpr std::string_view kDriversByInfQuery = R"sql(SELECT d.provider, d.description, d.inf, d.version, d.date, c.hosts
FROM (SELECT rd.driver_id, count(*) AS hosts
      FROM latest_snapshot AS s JOIN report_driver AS rd ON rd.report_id = s.report_id
      GROUP BY rd.driver_id) AS c
JOIN driver AS d ON d.driver_id = c.driver_id
WHERE ?1 IS NULL
   OR instr(lower(d.provider), lower(?1)) > 0
   OR instr(lower(d.description), lower(?1)) > 0
   OR instr(lower(d.inf), lower(?1)) > 0
   OR d.driver_id IN (SELECT driver_id FROM device_state
                      WHERE instr(lower(driver_matching_id), lower(?1)) > 0)
ORDER BY d.provider, d.description, d.inf, d.v1 DESC, d.v2 DESC, d.v3 DESC, d.v4 DESC, d.date DESC)sql";

// `behind`: the hosts whose latest snapshot runs a version of a driver older, by its
// numbers, than the newest that any host runs of it, or than the version asked
// for; by driver, oldest first. A driver is chosen as `drivers` chooses it.
// ?1: the text to look for, or null for every driver; ?2 to ?5: the version's
// numbers, or null for each driver's newest.
inline constexpr std::string_view kBehindQuery = R"sql(WITH wanted AS MATERIALIZED (
  SELECT driver_id FROM (
    SELECT d.driver_id,
           max(?1 IS NULL
               OR instr(lower(d.provider), lower(?1)) > 0
               OR instr(lower(d.description), lower(?1)) > 0
               OR instr(lower(d.inf), lower(?1)) > 0
               OR d.driver_id IN (SELECT driver_id FROM device_state
                                  WHERE instr(lower(driver_matching_id), lower(?1)) > 0))
             OVER (PARTITION BY d.provider, d.description) AS wanted
    FROM driver AS d)
  WHERE wanted),
runs AS (
  SELECT s.host_id, s.taken_at, d.provider, d.description, d.version, d.v1, d.v2, d.v3, d.v4,
         coalesce(?2, first_value(d.v1) OVER newest) AS t1,
         coalesce(?3, first_value(d.v2) OVER newest) AS t2,
         coalesce(?4, first_value(d.v3) OVER newest) AS t3,
         coalesce(?5, first_value(d.v4) OVER newest) AS t4,
         coalesce(?2 || '.' || ?3 || '.' || ?4 || '.' || ?5, first_value(d.version) OVER newest) AS behind
  FROM latest_snapshot AS s
  JOIN report_driver AS rd ON rd.report_id = s.report_id
  JOIN driver AS d ON d.driver_id = rd.driver_id
  WHERE rd.driver_id IN wanted
  WINDOW newest AS (PARTITION BY d.provider, d.description
                    ORDER BY d.v1 DESC, d.v2 DESC, d.v3 DESC, d.v4 DESC))
SELECT DISTINCT h.name AS host, r.provider, r.description, r.version, r.behind, r.taken_at AS last_seen
FROM runs AS r JOIN host AS h ON h.host_id = r.host_id
WHERE (r.v1, r.v2, r.v3, r.v4) < (r.t1, r.t2, r.t3, r.t4)
ORDER BY r.provider, r.description, r.v1, r.v2, r.v3, r.v4, h.name)sql";

// Every device of the hosts' latest snapshots that has no driver, with its first
// hardware id.
// ?1: the text to look for in the description or an id, or null for every device.
inline constexpr std::string_view kNoDriverQuery = R"sql(SELECT h.name AS host, v.instance_id, v.description,
       (SELECT i.value FROM device_id AS i
        WHERE i.state_id = v.state_id AND i.kind = 'hwid' ORDER BY i.position LIMIT 1) AS hardware_id
FROM latest_snapshot AS s
JOIN host AS h ON h.host_id = s.host_id
JOIN report AS r ON r.report_id = s.report_id
JOIN report_device AS rd ON rd.report_id = s.report_id
JOIN device_state AS v ON v.state_id = rd.state_id
WHERE r.no_driver > 0 AND v.driver_id IS NULL
  AND (?1 IS NULL
       OR instr(lower(v.description), lower(?1)) > 0
       OR instr(lower(v.instance_id), lower(?1)) > 0
       OR EXISTS (SELECT 1 FROM device_id AS i
                  WHERE i.state_id = v.state_id AND instr(lower(i.value), lower(?1)) > 0))
ORDER BY h.name, v.instance_id)sql";

// `hosts --seen-before DATE`: the hosts not seen since, oldest first.
// ?1: the date or time, as the index writes times.
inline constexpr std::string_view kHostsSeenBeforeQuery = R"sql(SELECT h.name AS host, s.taken_at, r.os, r.arch, r.server, r.devices, r.no_driver
FROM latest_snapshot AS s
JOIN host AS h ON h.host_id = s.host_id
JOIN report AS r ON r.report_id = s.report_id
WHERE s.taken_at < ?1
ORDER BY s.taken_at, h.name)sql";

// ?1: the id, which device_id.value compares without regard to ASCII case; for
// a prefix, the LIKE pattern that like_prefix makes of it.
[[nodiscard]] std::string find_query(bool prefix);

enum class TableFormat {
  tsv,  // a header line, then a line per row; fields split by tabs
  csv,  // RFC 4180: CR LF line ends, fields quoted where needed
};

// Takes output a few lines at a time; false when it could not.
using LineSink = std::function<bool(std::string_view)>;

// The one statement of `sql`, refused with a sentence unless it only reads: no
// statement that writes, no ATTACH or DETACH, no PRAGMA that sets anything (one that
// only tells runs, as a statement or as a table-valued function), no function that
// tells where the program's memory lies. From then on the connection refuses all of
// these, so that `db` serves that statement alone.
[[nodiscard]] std::expected<Statement, std::string> prepare_read_only(Database& db,
                                                                     std::string_view sql);

// Runs the statement and writes a header line of its column names and a line per
// row. A null is an empty field; in CSV an empty text is "" to tell it from
// null. Both carry the same text: a control character is written as a space and a
// byte that is not UTF-8 as U+FFFD; a blob is written in hexadecimal in both.
[[nodiscard]] std::expected<void, std::string> write_rows(Statement& statement,
                                                          TableFormat format,
                                                          const LineSink& out);

// The lines of a table that the program fills itself, written as write_rows writes
// a statement's rows.
//
//   TableLines lines(TableFormat::tsv, out);
//   lines.row({"host", "version"});
//   lines.row({"PC-1", std::nullopt});
//   if (!lines.finish()) ...the output is gone...
class TableLines {
 public:
  TableLines(TableFormat format, const LineSink& out) : format_(format), out_(out) {}
  // A null field is empty, as write_rows writes a null.
  void row(std::initializer_list<std::optional<std::string_view>> fields);
  // Writes what is left; false once the output is gone.
  [[nodiscard]] bool finish();

 private:
  TableFormat format_;
  const LineSink& out_;
  std::string lines_;
  bool open_ = true;
};

// One CSV field as RFC 4180 quotes it.
void append_csv_field(std::string& line, std::string_view text);

// The LIKE pattern of the id prefix that `find ID*` looks for.
[[nodiscard]] std::string like_prefix(std::string_view prefix);

}  // namespace qv
