#include "indexer.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>

#include "identity_text.h"
#include "sha256.h"

namespace qv {
namespace {

// A driver as the index groups them: provider, description, INF, date and
// version; an absent value is told from an empty one.
std::string driver_key(const SectionFields& fields) {
  std::string key;
  for (const Key part :
       {Key::driver_provider, Key::driver_desc, Key::driver_inf, Key::driver_ver}) {
    const auto value = fields.value(part);
    key += value ? "+" : "-";
    key += value.value_or("");
    key += '\n';
  }
  return key;
}

Failed failed(const std::string& error) { return Failed(error); }

// The first value of the one row that a lookup gives.
std::expected<std::optional<std::int64_t>, std::string> single(Statement& statement) {
  const auto row = statement.step();
  std::optional<std::int64_t> value;
  if (row && *row) value = statement.integer(0);
  statement.reset();
  if (!row) return failed(row.error());
  return value;
}

// Version 1 kept Windows' last write to the second.
std::int64_t whole_seconds(std::int64_t ns) {
  constexpr std::int64_t second = 1'000'000'000;
  return ns - ((ns % second) + second) % second;
}

// The index holds text, and its text is UTF-8: a file name in another encoding
// (a Linux name is any bytes) is kept with U+FFFD for each byte that isn't.
std::string utf8_text(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (std::size_t pos = 0; pos < bytes.size();) {
    const std::size_t length = well_formed_length(bytes, pos);
    if (length == 0) {
      text += "\xEF\xBF\xBD";
      ++pos;
    } else {
      text.append(bytes, pos, length);
      pos += length;
    }
  }
  return text;
}

}  // namespace

ReportLists report_lists(std::vector<std::int64_t> states, std::vector<std::int64_t> drivers) {
  std::sort(states.begin(), states.end());
  std::vector<std::int64_t> distinct;
  std::vector<std::int64_t> copies;
  distinct.reserve(states.size());
  copies.reserve(states.size());
  bool repeats = false;
  for (std::size_t i = 0; i < states.size(); ++i) {
    if (i > 0 && states[i] == states[i - 1]) {
      ++copies.back();
      repeats = true;
    } else {
      distinct.push_back(states[i]);
      copies.push_back(1);
    }
  }
  std::sort(drivers.begin(), drivers.end());
  drivers.erase(std::unique(drivers.begin(), drivers.end()), drivers.end());
  ReportLists lists;
  append_id_list(lists.states, distinct);
  if (repeats) {
    lists.copies.emplace();
    append_id_list(*lists.copies, copies);
  }
  append_id_list(lists.drivers, drivers);
  return lists;
}

std::string utc_text(std::int64_t ns_since_1970) {
  using namespace std::chrono;
  const sys_seconds moment{floor<seconds>(nanoseconds(ns_since_1970))};
  const sys_days day = floor<days>(moment);
  const year_month_day date{day};
  const hh_mm_ss time{moment - day};
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                static_cast<int>(time.seconds().count()));
  return text;
}

struct Indexer::Statements {
  Statement find_snapshot, find_report, find_host, insert_host, insert_report, find_state,
      insert_state, insert_id, find_driver, insert_driver, insert_repeated, find_unordered,
      forget_order, insert_snapshot, any_state, data_version, insert_list;
};

Indexer::Indexer(std::unique_ptr<Statements> statements, Database& db)
    : statements_(std::move(statements)), db_(&db) {}
Indexer::Indexer(Indexer&&) noexcept = default;
Indexer& Indexer::operator=(Indexer&&) noexcept = default;
Indexer::~Indexer() = default;

std::expected<Indexer, std::string> Indexer::make(Database& db) {
  // A statement that changes several rows keeps a journal of the pages it
  // changes: in memory it costs a copy, in a temporary file a write each. A
  // run's writes touch each page of the index's tables a few times, and the
  // system keeps the file's pages anyway: measured on generated fleets, a cache
  // of 16 MiB writes as fast as one of 64 MiB, with 80 MB less memory.
  //
  // Foreign keys are not checked while it writes: every id it writes is one it
  // has just made or read in the same transaction, or keeps from an earlier one
  // of this run, which nothing deletes, and a check is a lookup of the parent
  // row for each row written, 8% of the writing.
  if (auto set = db.execute(
          "PRAGMA temp_store = MEMORY; PRAGMA cache_size = -16384; PRAGMA foreign_keys = OFF");
      !set) {
    return failed(set.error());
  }
  auto statements = std::make_unique<Statements>();
  const std::pair<Statement*, const char*> sql[] = {
      {&statements->find_snapshot,
       "SELECT EXISTS (SELECT 1 FROM snapshot WHERE path = ?1 AND size = ?2 AND mtime_ns = ?3) "
       "OR EXISTS (SELECT 1 FROM snapshot WHERE file_id = ?4 AND size = ?2 AND mtime_ns = ?3) "
       "OR EXISTS (SELECT 1 FROM snapshot WHERE path = ?1 AND size = ?2 AND mtime_ns = ?5 "
       "AND file_id IS NULL)"},
      {&statements->find_report, "SELECT report_id, host_id FROM report WHERE sha256 = ?1"},
      {&statements->find_host, "SELECT host_id FROM host WHERE name = ?1"},
      {&statements->insert_host, "INSERT INTO host (name) VALUES (?1)"},
      {&statements->insert_report,
       "INSERT INTO report (sha256, host_id, os, arch, server, devices, no_driver, states, "
       "copies, drivers) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)"},
      {&statements->find_state, "SELECT state_id, driver_id FROM device_state WHERE digest = ?1"},
      {&statements->insert_state,
       "INSERT INTO device_state (digest, instance_id, description, class_guid, driver_id, "
       "driver_ext, driver_matching_id) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)"},
      {&statements->insert_id,
       "INSERT INTO device_id (state_id, kind, position, value) VALUES (?1, ?2, ?3, ?4)"},
      {&statements->find_driver, "SELECT driver_id FROM driver WHERE key = ?1"},
      {&statements->insert_driver,
       "INSERT INTO driver (key, provider, description, inf, date, version, v1, v2, v3, v4) "
       "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)"},
      {&statements->insert_repeated,
       "INSERT INTO repeated_device (report_id, position, state_id) VALUES (?1, ?2, ?3)"},
      {&statements->find_unordered,
       "SELECT 1 FROM repeated_device WHERE report_id = ?1 AND position < 0 LIMIT 1"},
      {&statements->forget_order, "DELETE FROM repeated_device WHERE report_id = ?1"},
      {&statements->any_state, "SELECT EXISTS (SELECT 1 FROM device_state)"},
      {&statements->data_version, "PRAGMA data_version"},
      {&statements->insert_list, IdLists::kInsert.data()},
      {&statements->insert_snapshot,
       "INSERT INTO snapshot (host_id, report_id, taken_at, path, size, mtime_ns, file_id) "
       "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)"},
  };
  for (const auto& [statement, text] : sql) {
    auto prepared = db.prepare(text);
    if (!prepared) return failed(prepared.error());
    *statement = std::move(*prepared);
  }
  Indexer indexer(std::move(statements), db);
  const auto any = single(indexer.statements_->any_state);
  const auto version = single(indexer.statements_->data_version);
  if (!any || !version) return failed(any ? version.error() : any.error());
  if (**any == 0) indexer.alone_since_ = **version;
  return indexer;
}

std::expected<bool, std::string> Indexer::known(const ReportFile& file) {
  Statement& find = statements_->find_snapshot;
  find.bind(1, utf8_text(file.path));
  find.bind(2, file.size);
  find.bind(3, file.mtime_ns);
  if (!file.file_id.empty()) find.bind(4, file.file_id);
  find.bind(5, whole_seconds(file.mtime_ns));
  const auto row = find.step();
  const bool exists = row && *row && find.integer(0) != 0;
  find.reset();
  if (!row) return failed(row.error());
  return exists;
}

std::expected<std::int64_t, std::string> Indexer::host_id(std::string_view name) {
  const std::string key(name);
  if (const auto at = hosts_.find(key); at != hosts_.end()) return at->second;
  statements_->find_host.bind(1, name);
  auto found = single(statements_->find_host);
  if (!found) return failed(found.error());
  if (!*found) {
    statements_->insert_host.bind(1, name);
    const auto made = statements_->insert_host.insert();
    if (!made) return failed(made.error());
    found = *made;
    new_hosts_.push_back(key);
  }
  hosts_.emplace(key, **found);
  return **found;
}

std::expected<std::optional<std::int64_t>, std::string> Indexer::driver_id(
    const SectionFields& fields) {
  const auto identity_text = fields.value(Key::driver_ver);
  if (!identity_text) return std::nullopt;
  const SectionDigest key = key_digest(driver_key(fields));
  if (const std::int64_t* known = drivers_.find(key)) return *known;
  auto found = stored_driver(fields, key);
  if (found && *found) {
    drivers_.insert(key, **found);
    new_drivers_.push_back(key);
  }
  return found;
}

std::expected<std::optional<std::int64_t>, std::string> Indexer::stored_driver(
    const SectionFields& fields, const SectionDigest& key) {
  Statement& find = statements_->find_driver;
  find.bind(1, key);
  auto found = single(find);
  if (!found || *found) return found;

  const auto identity_text = fields.value(Key::driver_ver);
  const auto identity = parse_driver_identity_text(*identity_text);
  const std::size_t space = identity_text->find(' ');
  Statement& insert = statements_->insert_driver;
  insert.bind(1, key);
  insert.bind(2, fields.value(Key::driver_provider));
  insert.bind(3, fields.value(Key::driver_desc).value_or(""));
  insert.bind(4, fields.value(Key::driver_inf));
  if (space == std::string_view::npos) {
    insert.bind(5, std::nullopt);
  } else {
    insert.bind(5, identity_text->substr(0, space));
  }
  insert.bind(6,
              space == std::string_view::npos ? *identity_text : identity_text->substr(space + 1));
  for (int i = 0; i < 4; ++i) {
    insert.bind(7 + i, std::int64_t{identity ? identity->version.parts[i] : 0});
  }
  const auto made = insert.insert();
  if (!made) return failed(made.error());
  return *made;
}

std::expected<Indexer::StateRef, std::string> Indexer::new_state(
    const SectionView& section, std::span<const std::uint8_t> digest,
    const SectionFields* prepared) {
  // A section from parse_report reads again without fault.
  std::expected<SectionFields, ReportError> read;
  if (!prepared) {
    read = read_section(section);
    if (!read) return failed(read.error().message);
  }
  const SectionFields* fields = prepared ? prepared : &*read;
  const auto driver = driver_id(*fields);
  if (!driver) return failed(driver.error());
  Statement& insert = statements_->insert_state;
  insert.bind(1, digest);
  insert.bind(2, fields->value(Key::instance_id).value_or(""));
  insert.bind(3, fields->value(Key::description).value_or(""));
  insert.bind(4, fields->value(Key::class_guid));
  if (*driver) {
    insert.bind(5, **driver);
  } else {
    insert.bind(5, std::nullopt);
  }
  insert.bind(6, fields->value(Key::driver_ext));
  insert.bind(7, fields->value(Key::driver_matching_id));
  const auto state = insert.insert();
  if (!state) return failed(state.error());
  for (const Key kind : {Key::hwid, Key::cid}) {
    std::int64_t position = 0;
    for (const Field& id : fields->lines(kind)) {
      Statement& add = statements_->insert_id;
      add.bind(1, *state);
      add.bind(2, name_of(kind));
      add.bind(3, position++);
      add.bind(4, id.value);
      if (auto ran = add.run(); !ran) return failed(ran.error());
      id_lists_.add(id.value, *state);
    }
  }
  return StateRef{*state, *driver};
}

std::expected<Indexer::StateRef, std::string> Indexer::state(const SectionView& section,
                                                             const SectionDigest& digest,
                                                             const SectionFields* fields) {
  if (const StateRef* known = states_.find(digest)) return *known;
  auto found = stored_state(section, digest, fields);
  if (found) {
    states_.insert(digest, *found);
    new_states_.push_back(digest);
  }
  return found;
}

// An index that held no device state when the run began, and that no other
// connection has written since, holds only the states this run made and kept,
// which it knows: a state it has not met is new, without a lookup. The caller's
// transaction keeps other writers out while the state is added.
std::expected<bool, std::string> Indexer::states_all_known() {
  if (!alone_since_) return false;
  const auto version = single(statements_->data_version);
  if (!version) return failed(version.error());
  if (**version != *alone_since_) alone_since_.reset();
  return alone_since_.has_value();
}

std::expected<Indexer::StateRef, std::string> Indexer::stored_state(const SectionView& section,
                                                                    const SectionDigest& digest,
                                                                    const SectionFields* fields) {
  const auto all_known = states_all_known();
  if (!all_known) return failed(all_known.error());
  if (*all_known) return new_state(section, digest, fields);
  Statement& find = statements_->find_state;
  find.bind(1, digest);
  const auto row = find.step();
  if (!row) {
    find.reset();
    return failed(row.error());
  }
  if (*row) {
    StateRef ref{find.integer(0), std::nullopt};
    if (find.type(1) != Statement::Type::null) ref.driver = find.integer(1);
    find.reset();
    return ref;
  }
  find.reset();
  return new_state(section, digest, fields);
}

std::expected<std::int64_t, std::string> Indexer::add_report(const PreparedReport& prepared,
                                                             std::int64_t host) {
  const ReportView& report = *prepared.report;
  std::vector<std::int64_t> states;  // in the report's order
  std::vector<std::int64_t> drivers;
  states.reserve(report.sections.size());
  drivers.reserve(report.sections.size());
  // A few sections ahead, so that their slots are on their way while this one is looked up.
  constexpr std::size_t kAhead = 8;
  for (std::size_t i = 0; i < std::min(kAhead, prepared.digests.size()); ++i) {
    states_.prefetch(prepared.digests[i]);
  }
  auto fields = prepared.fields.begin();  // those of section i when prepared
  for (std::size_t i = 0; i < report.sections.size(); ++i) {
    if (i + kAhead < prepared.digests.size()) states_.prefetch(prepared.digests[i + kAhead]);
    const bool read = fields != prepared.fields.end() && fields->first == i;
    const auto ref =
        state(report.sections[i], prepared.digests[i], read ? &fields->second : nullptr);
    if (read) ++fields;
    if (!ref) return failed(ref.error());
    states.push_back(ref->state);
    if (ref->driver) drivers.push_back(*ref->driver);
  }
  const auto no_driver = static_cast<std::int64_t>(states.size() - drivers.size());
  const ReportLists lists = report_lists(states, std::move(drivers));
  Statement& insert = statements_->insert_report;
  insert.bind(1, prepared.sha256);
  insert.bind(2, host);
  insert.bind(3, report.os);
  insert.bind(4, report.arch);
  insert.bind(5, std::int64_t{report.server ? 1 : 0});
  insert.bind(6, static_cast<std::int64_t>(report.sections.size()));
  insert.bind(7, no_driver);
  insert.bind(8, lists.states);
  if (lists.copies) {
    insert.bind(9, *lists.copies);
  } else {
    insert.bind(9, std::nullopt);
  }
  insert.bind(10, lists.drivers);
  const auto report_id = insert.insert();
  if (!report_id) return failed(report_id.error());
  if (auto ordered = add_repeated(*report_id, prepared.repeated, states); !ordered) {
    return failed(ordered.error());
  }
  return *report_id;
}

std::expected<void, std::string> Indexer::add_repeated(std::int64_t report_id,
                                                       std::span<const std::size_t> positions,
                                                       std::span<const std::int64_t> states) {
  for (const std::size_t position : positions) {
    Statement& repeated = statements_->insert_repeated;
    repeated.bind(1, report_id);
    repeated.bind(2, static_cast<std::int64_t>(position));
    repeated.bind(3, states[position]);
    if (auto ran = repeated.run(); !ran) return ran;
  }
  return {};
}

// A report that the upgrade from version 1 could only order by its states'
// rows (negative positions) learns its own order from its bytes.
std::expected<void, std::string> Indexer::learn_order(std::int64_t report_id,
                                                      std::string_view bytes) {
  statements_->find_unordered.bind(1, report_id);
  const auto unordered = single(statements_->find_unordered);
  if (!unordered) return failed(unordered.error());
  if (!*unordered) return {};
  const auto report = parse_report(bytes);
  if (!report) return {};  // equal bytes read alike
  std::vector<std::int64_t> states(report->sections.size());
  const std::vector<std::size_t> positions = repeated_positions(*report);
  for (const std::size_t position : positions) {
    const SectionView& section = report->sections[position];
    const auto ref = state(section, section_digest(section.text));
    if (!ref) return failed(ref.error());
    states[position] = ref->state;
  }
  statements_->forget_order.bind(1, report_id);
  if (auto ran = statements_->forget_order.run(); !ran) return ran;
  return add_repeated(report_id, positions, states);
}

std::expected<std::optional<ReportError>, std::string> Indexer::add(const ReportFile& file,
                                                                    std::string_view bytes) {
  return add(file, *prepare_report(std::string(bytes)));
}

std::expected<std::optional<ReportError>, std::string> Indexer::add(
    const ReportFile& file, const PreparedReport& prepared) {
  auto added = add_snapshot(file, prepared);
  if (added && !db_->in_transaction()) {
    if (auto written = write_id_lists(); !written) return failed(written.error());
  }
  return added;
}

std::expected<void, std::string> Indexer::write_id_lists() {
  return id_lists_.write(statements_->insert_list);
}

void Indexer::committed() {
  new_hosts_.clear();
  new_states_.clear();
  new_drivers_.clear();
}

void Indexer::rolled_back() {
  for (const std::string& name : new_hosts_) hosts_.erase(name);
  for (const SectionDigest& digest : new_states_) states_.erase(digest);
  for (const SectionDigest& key : new_drivers_) drivers_.erase(key);
  id_lists_.clear();
  committed();
}

std::expected<std::optional<ReportError>, std::string> Indexer::add_snapshot(
    const ReportFile& file, const PreparedReport& prepared) {
  const std::string& sha = prepared.sha256;
  std::int64_t report_id = 0;
  std::int64_t host = 0;
  Statement& find = statements_->find_report;
  find.bind(1, sha);
  const auto row = find.step();
  if (row && *row) {
    // The same bytes as a report indexed before: the machine seen again, unchanged.
    report_id = find.integer(0);
    host = find.integer(1);
  }
  find.reset();
  if (!row) return failed(row.error());
  if (*row) {
    if (auto ordered = learn_order(report_id, prepared.bytes); !ordered) {
      return failed(ordered.error());
    }
  } else {
    if (!prepared.report) return prepared.report.error();
    const auto found_host = host_id(prepared.report->host);
    if (!found_host) return failed(found_host.error());
    host = *found_host;
    const auto added = add_report(prepared, host);
    if (!added) return failed(added.error());
    report_id = *added;
  }
  Statement& insert = statements_->insert_snapshot;
  insert.bind(1, host);
  insert.bind(2, report_id);
  insert.bind(3, utc_text(file.mtime_ns));
  insert.bind(4, utf8_text(file.path));
  insert.bind(5, file.size);
  insert.bind(6, file.mtime_ns);
  if (file.file_id.empty()) {
    insert.bind(7, std::nullopt);
  } else {
    insert.bind(7, file.file_id);
  }
  if (auto ran = insert.run(); !ran) return failed(ran.error());
  return std::nullopt;
}

}  // namespace qv
