#include "indexer.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>

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

// The key of a driver row: like a device section's, the leading half of a SHA-256.
SectionDigest digest_of(std::string_view bytes) {
  const Sha256Digest whole = sha256(bytes);
  SectionDigest digest;
  std::copy_n(whole.begin(), digest.size(), digest.begin());
  return digest;
}

Failed failed(const std::string& error) { return Failed(error); }

// The first value of the one row that a lookup or an insert with RETURNING gives.
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

std::vector<std::size_t> repeated_positions(const ReportView& report) {
  std::unordered_map<std::string_view, std::size_t> count;
  for (const SectionView& section : report.sections) ++count[section.instance_id];
  std::vector<std::size_t> positions;
  for (std::size_t i = 0; i < report.sections.size(); ++i) {
    if (count[report.sections[i].instance_id] > 1) positions.push_back(i);
  }
  return positions;
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
      insert_state, insert_id, find_driver, insert_driver, insert_member, insert_report_driver,
      insert_repeated, find_unordered, forget_order, insert_snapshot, savepoint, release, roll_back;
};

Indexer::Indexer(std::unique_ptr<Statements> statements) : statements_(std::move(statements)) {}
Indexer::Indexer(Indexer&&) noexcept = default;
Indexer& Indexer::operator=(Indexer&&) noexcept = default;
Indexer::~Indexer() = default;

std::expected<Indexer, std::string> Indexer::make(Database& db) {
  // Each report is added under a savepoint, whose journal holds the first state
  // of every page the report changes: in memory it costs a copy, in a temporary
  // file a write for each page, some 250,000 writes for 2,000 reports.
  if (auto set = db.execute("PRAGMA temp_store = MEMORY"); !set) return failed(set.error());
  auto statements = std::make_unique<Statements>();
  const std::pair<Statement*, const char*> sql[] = {
      {&statements->find_snapshot,
       "SELECT EXISTS (SELECT 1 FROM snapshot WHERE path = ?1 AND size = ?2 AND mtime_ns = ?3) "
       "OR EXISTS (SELECT 1 FROM snapshot WHERE file_id = ?4 AND size = ?2 AND mtime_ns = ?3) "
       "OR EXISTS (SELECT 1 FROM snapshot WHERE path = ?1 AND size = ?2 AND mtime_ns = ?5 "
       "AND file_id IS NULL)"},
      {&statements->find_report, "SELECT report_id, host_id FROM report WHERE sha256 = ?1"},
      {&statements->find_host, "SELECT host_id FROM host WHERE name = ?1"},
      {&statements->insert_host, "INSERT INTO host (name) VALUES (?1) RETURNING host_id"},
      {&statements->insert_report,
       "INSERT INTO report (sha256, host_id, os, arch, server, devices, no_driver) "
       "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7) RETURNING report_id"},
      {&statements->find_state, "SELECT state_id, driver_id FROM device_state WHERE digest = ?1"},
      {&statements->insert_state,
       "INSERT INTO device_state (digest, instance_id, description, class_guid, driver_id, "
       "driver_ext, driver_matching_id) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7) RETURNING state_id"},
      {&statements->insert_id,
       "INSERT INTO device_id (state_id, kind, position, value) VALUES (?1, ?2, ?3, ?4)"},
      {&statements->find_driver, "SELECT driver_id FROM driver WHERE key = ?1"},
      {&statements->insert_driver,
       "INSERT INTO driver (key, provider, description, inf, date, version, v1, v2, v3, v4) "
       "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10) RETURNING driver_id"},
      {&statements->insert_member,
       "INSERT INTO report_device (report_id, state_id, copies) VALUES (?1, ?2, ?3)"},
      {&statements->insert_report_driver,
       "INSERT INTO report_driver (report_id, driver_id) VALUES (?1, ?2)"},
      {&statements->insert_repeated,
       "INSERT INTO repeated_device (report_id, position, state_id) VALUES (?1, ?2, ?3)"},
      {&statements->find_unordered,
       "SELECT 1 FROM repeated_device WHERE report_id = ?1 AND position < 0 LIMIT 1"},
      {&statements->forget_order, "DELETE FROM repeated_device WHERE report_id = ?1"},
      {&statements->insert_snapshot,
       "INSERT INTO snapshot (host_id, report_id, taken_at, path, size, mtime_ns, file_id) "
       "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)"},
      {&statements->savepoint, "SAVEPOINT report_file"},
      {&statements->release, "RELEASE report_file"},
      {&statements->roll_back, "ROLLBACK TO report_file"},
  };
  for (const auto& [statement, text] : sql) {
    auto prepared = db.prepare(text);
    if (!prepared) return failed(prepared.error());
    *statement = std::move(*prepared);
  }
  return Indexer(std::move(statements));
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
    found = single(statements_->insert_host);
    if (!found) return failed(found.error());
    new_hosts_.push_back(key);
  }
  hosts_.emplace(key, **found);
  return **found;
}

std::expected<std::optional<std::int64_t>, std::string> Indexer::driver_id(
    const SectionFields& fields) {
  const auto identity_text = fields.value(Key::driver_ver);
  if (!identity_text) return std::nullopt;
  const SectionDigest key = digest_of(driver_key(fields));
  Statement& find = statements_->find_driver;
  find.bind(1, key);
  auto found = single(find);
  if (!found || *found) return found;

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
  return single(insert);
}

std::expected<Indexer::StateRef, std::string> Indexer::new_state(
    const SectionView& section, std::span<const std::uint8_t> digest) {
  // A section from parse_report reads again without fault.
  const auto fields = read_section(section);
  if (!fields) return failed(fields.error().message);
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
  const auto state = single(insert);
  if (!state) return failed(state.error());
  for (const Key kind : {Key::hwid, Key::cid}) {
    std::int64_t position = 0;
    for (const Field& id : fields->lines(kind)) {
      Statement& add = statements_->insert_id;
      add.bind(1, **state);
      add.bind(2, name_of(kind));
      add.bind(3, position++);
      add.bind(4, id.value);
      if (auto ran = add.run(); !ran) return failed(ran.error());
    }
  }
  return StateRef{**state, *driver};
}

// A digest is SHA-256's: any eight of its bytes are as good a hash as any.
std::size_t Indexer::DigestHash::operator()(const SectionDigest& digest) const noexcept {
  std::size_t hash;
  std::memcpy(&hash, digest.data(), sizeof hash);
  return hash;
}

std::expected<Indexer::StateRef, std::string> Indexer::state(const SectionView& section,
                                                             const SectionDigest& digest) {
  if (const auto known = states_.find(digest); known != states_.end()) return known->second;
  auto found = stored_state(section, digest);
  if (found) {
    states_.emplace(digest, *found);
    new_states_.push_back(digest);
  }
  return found;
}

std::expected<Indexer::StateRef, std::string> Indexer::stored_state(const SectionView& section,
                                                                    const SectionDigest& digest) {
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
  return new_state(section, digest);
}

std::expected<std::int64_t, std::string> Indexer::add_report(const PreparedReport& prepared,
                                                             std::int64_t host) {
  const ReportView& report = *prepared.report;
  const std::string& sha256 = prepared.sha256;
  std::map<std::int64_t, std::int64_t> copies;  // state: how often the report holds it
  std::vector<std::int64_t> states;             // in the report's order
  std::set<std::int64_t> drivers;
  std::int64_t no_driver = 0;
  for (std::size_t i = 0; i < report.sections.size(); ++i) {
    const auto ref = state(report.sections[i], prepared.digests[i]);
    if (!ref) return failed(ref.error());
    ++copies[ref->state];
    states.push_back(ref->state);
    if (ref->driver) {
      drivers.insert(*ref->driver);
    } else {
      ++no_driver;
    }
  }
  Statement& insert = statements_->insert_report;
  insert.bind(1, sha256);
  insert.bind(2, host);
  insert.bind(3, report.os);
  insert.bind(4, report.arch);
  insert.bind(5, std::int64_t{report.server ? 1 : 0});
  insert.bind(6, static_cast<std::int64_t>(report.sections.size()));
  insert.bind(7, no_driver);
  const auto report_id = single(insert);
  if (!report_id) return failed(report_id.error());
  for (const auto& [state_id, count] : copies) {
    Statement& member = statements_->insert_member;
    member.bind(1, **report_id);
    member.bind(2, state_id);
    member.bind(3, count);
    if (auto ran = member.run(); !ran) return failed(ran.error());
  }
  for (const std::int64_t driver : drivers) {
    Statement& used = statements_->insert_report_driver;
    used.bind(1, **report_id);
    used.bind(2, driver);
    if (auto ran = used.run(); !ran) return failed(ran.error());
  }
  if (auto ordered = add_repeated(**report_id, report, states); !ordered) {
    return failed(ordered.error());
  }
  return **report_id;
}

std::expected<void, std::string> Indexer::add_repeated(std::int64_t report_id,
                                                       const ReportView& report,
                                                       std::span<const std::int64_t> states) {
  for (const std::size_t position : repeated_positions(report)) {
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
  for (const std::size_t position : repeated_positions(*report)) {
    const SectionView& section = report->sections[position];
    const auto ref = state(section, section_digest(section.text));
    if (!ref) return failed(ref.error());
    states[position] = ref->state;
  }
  statements_->forget_order.bind(1, report_id);
  if (auto ran = statements_->forget_order.run(); !ran) return ran;
  return add_repeated(report_id, *report, states);
}

// A database failure in the middle of a report takes back what the report had
// written so far, and the hosts it made, so that the caller may go on.
std::expected<std::optional<ReportError>, std::string> Indexer::add(const ReportFile& file,
                                                                    std::string_view bytes) {
  return add(file, *prepare_report(std::string(bytes)));
}

std::expected<std::optional<ReportError>, std::string> Indexer::add(
    const ReportFile& file, const PreparedReport& prepared) {
  new_hosts_.clear();
  new_states_.clear();
  if (auto begun = statements_->savepoint.run(); !begun) return failed(begun.error());
  auto added = add_snapshot(file, prepared);
  if (added && !*added) {
    auto released = statements_->release.run();
    if (released) return added;
    added = failed(released.error());
  }
  // A report that is no report wrote nothing, a failure perhaps something.
  (void)statements_->roll_back.run();
  (void)statements_->release.run();
  for (const std::string& name : new_hosts_) hosts_.erase(name);
  new_hosts_.clear();
  for (const SectionDigest& digest : new_states_) states_.erase(digest);
  new_states_.clear();
  return added;
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
