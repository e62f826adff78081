// The fleet index over any bytes: the fuzz bytes as a report file indexed into
// an index in memory, twice (a second file, the same bytes) and beside the same
// report with its first driver updated, then every question asked of it. Never a
// crash; the index stays whole (every report's devices all there); a report the
// reader refuses leaves no row. Read again with its sections held, as a run
// reads what it met before, it reads as the reader reads it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "changes.h"
#include "driver_runs.h"
#include "fuzz_support.h"
#include "indexer.h"
#include "no_driver.h"
#include "queries.h"
#include "report.h"
#include "schema.h"
#include "section_digests.h"

namespace {

using qv::fuzz::require;

std::int64_t count(qv::Database& db, const char* sql) {
  auto statement = db.prepare(sql);
  require(statement && *statement->step(), "fleet: a count can't be read");
  return statement->integer(0);
}

// The same report a day later with its first driver's version raised.
std::string updated(std::string_view bytes) {
  auto result = qv::read_report(bytes);
  if (!result) return {};
  for (qv::DeviceRecord& device : result->devices) {
    if (!device.driver) continue;
    auto& part = device.driver->identity.version.parts[3];
    part = static_cast<std::uint16_t>(part + 1);
    break;
  }
  return qv::serialize_report(*result);
}

void ask_everything(qv::Database& db) {
  const auto discard = [](std::string_view) { return true; };
  const std::pair<std::string, const char*> questions[] = {
      {std::string(qv::kHostsQuery), nullptr},
      {std::string(qv::kDriversQuery), nullptr},
      {std::string(qv::kDriversQuery), "e"},
      {qv::find_query(false), "PCI\\VEN_8086"},
      {qv::find_query(true), "%"},
      {std::string(qv::kDriversByInfQuery), "e"},
      {std::string(qv::kBehindQuery), nullptr},
      {std::string(qv::kNoDriverQuery), "e"},
      {std::string(qv::kHostsSeenBeforeQuery), "2026-12-07"},
  };
  for (const auto& [sql, value] : questions) {
    auto statement = db.prepare(sql);
    require(statement.has_value(), "fleet: a canned question does not prepare");
    if (value != nullptr) statement->bind(1, value);
    require(qv::write_rows(*statement, qv::TableFormat::csv, discard).has_value(),
            "fleet: a canned question failed");
  }
  require(qv::write_changes(db, std::nullopt, discard).has_value(), "fleet: changes failed");
  // The questions that group the latest reports' lists themselves.
  for (const std::optional<std::string>& text :
       {std::optional<std::string>(), std::optional<std::string>("e")}) {
    require(qv::write_drivers(db, text, qv::TableFormat::csv, discard).has_value(),
            "fleet: drivers failed");
    require(qv::write_behind(db, text, std::nullopt, qv::TableFormat::csv, discard).has_value(),
            "fleet: behind failed");
    require(qv::write_no_driver(db, text, qv::TableFormat::csv, discard).has_value(),
            "fleet: nodriver failed");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  auto db = qv::open_memory_index();
  require(db.has_value(), "fleet: no index in memory");
  auto indexer = qv::Indexer::make(*db);
  require(indexer.has_value(), "fleet: the indexer can't be made");
  const auto size_of = [](std::string_view text) { return static_cast<std::int64_t>(text.size()); };
  const std::string later = updated(bytes);
  require(db->execute("BEGIN").has_value(), "fleet: no transaction");
  const auto first = indexer->add({"/share/a.txt", size_of(bytes), 1, "1:a"}, bytes);
  const auto again = indexer->add({"/share/b.txt", size_of(bytes), 2, "1:b"}, bytes);
  require(first && again, "fleet: the index failed");
  require(first->has_value() == again->has_value(), "fleet: the same bytes read differently");
  if (!later.empty()) {
    const auto next = indexer->add({"/share/c.txt", size_of(later), 3, "1:c"}, later);
    require(next && !next->has_value(), "fleet: a report written back is refused");
  }
  require(indexer->write_id_lists() && db->execute("COMMIT"), "fleet: the transaction failed");

  const std::int64_t files = (first->has_value() ? 0 : 2) + (later.empty() ? 0 : 1);
  require(count(*db, "SELECT count(*) FROM snapshot") == files, "fleet: a snapshot is missing");
  require(count(*db,
                "SELECT count(*) FROM report AS r WHERE devices <> (SELECT "
                "coalesce(sum(copies), 0) FROM report_device WHERE report_id = r.report_id)") == 0,
          "fleet: a report's devices are not all there");
  ask_everything(*db);

  // Read again with every section held from the first reading: as the reader reads it.
  qv::SectionDigests known;
  const auto expected = qv::parse_report(bytes);
  (void)qv::prepare_report(std::string(bytes), &known);
  const auto held = qv::prepare_report(std::string(bytes), &known);
  require(held->report.has_value() == expected.has_value(), "fleet: held sections read otherwise");
  if (expected) {
    require(held->report->sections.size() == expected->sections.size(),
            "fleet: held sections counted otherwise");
    for (std::size_t i = 0; i < expected->sections.size(); ++i) {
      const auto& mine = held->report->sections[i];
      const auto& theirs = expected->sections[i];
      require(mine.text == theirs.text && mine.instance_id == theirs.instance_id &&
                  mine.line == theirs.line,
              "fleet: a held section reads otherwise");
    }
  }
  return 0;
}
