// The questions asked of a fleet index: any read-only SQL, and the canned
// questions, each one SQL query over the latest snapshot of every host, with its
// values bound as parameters. docs/fleet.md shows each query as it stands here.
//
//   auto rows = prepare_read_only(db, "SELECT name FROM host");
//   write_rows(*rows, TableFormat::tsv, out);
#pragma once

#include <expected>
#include <functional>
#include <string>
#include <string_view>

#include "database.h"

namespace qv {

inline constexpr std::string_view kHostsQuery = R"sql(SELECT h.name AS host, s.taken_at, r.os, r.arch, r.server, r.devices, r.no_driver
FROM latest_snapshot AS s
JOIN host AS h ON h.host_id = s.host_id
JOIN report AS r ON r.report_id = s.report_id
ORDER BY h.name)sql";

// ?1: the text to look for, or null for every driver.
inline constexpr std::string_view kDriversQuery = R"sql(SELECT d.provider, d.description, d.inf, d.version, d.date, c.hosts
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

// One CSV field as RFC 4180 quotes it.
void append_csv_field(std::string& line, std::string_view text);

// The LIKE pattern of the id prefix that `find ID*` looks for.
[[nodiscard]] std::string like_prefix(std::string_view prefix);

}  // namespace qv
