#include "driver_runs.h"

#include <algorithm>
#include <charconv>
#include <tuple>
#include <unordered_map>

namespace qv {
namespace {

// Every driver row, in the order the questions list them, and whether it matches ?1.
constexpr std::string_view kDriverRows =
    R"sql(SELECT d.driver_id, d.provider, d.description, d.inf, d.version, d.date, d.v1, d.v2, d.v3, d.v4,
       ?1 IS NULL
       OR instr(lower(d.provider), lower(?1)) > 0
       OR instr(lower(d.description), lower(?1)) > 0
       OR instr(lower(d.inf), lower(?1)) > 0
       OR d.driver_id IN (SELECT driver_id FROM device_state
                          WHERE instr(lower(driver_matching_id), lower(?1)) > 0)
FROM driver AS d
ORDER BY d.provider, d.description, d.v1 DESC, d.v2 DESC, d.v3 DESC, d.v4 DESC, d.date DESC,
         d.driver_id)sql";

constexpr std::string_view kLatestDrivers = R"sql(SELECT h.name, s.taken_at, r.drivers
FROM latest_snapshot AS s
JOIN host AS h ON h.host_id = s.host_id
JOIN report AS r ON r.report_id = s.report_id
ORDER BY h.name)sql";

std::optional<std::string> optional_string(const Statement& row, int column) {
  const auto text = row.optional_text(column);
  return text ? std::optional<std::string>(*text) : std::nullopt;
}

// Reads the rows, and marks where each driver and each version starts.
std::expected<std::vector<bool>, std::string> read_rows(
    Database& db, const std::optional<std::string>& text, std::vector<DriverRow>& rows,
    std::unordered_map<std::int64_t, std::size_t>& place_of) {
  auto statement = db.prepare(kDriverRows);
  if (!statement) return Failed(statement.error());
  statement->bind(1, text ? std::optional<std::string_view>(*text) : std::nullopt);
  std::vector<bool> matches;
  auto read = each_row(*statement, [&](const Statement& row) {
    DriverRow driver{.provider = optional_string(row, 1),
                     .description = std::string(row.text(2)),
                     .inf = optional_string(row, 3),
                     .version = std::string(row.text(4)),
                     .date = optional_string(row, 5),
                     .numbers = {row.integer(6), row.integer(7), row.integer(8), row.integer(9)}};
    const std::size_t place = rows.size();
    const DriverRow* before = rows.empty() ? nullptr : &rows.back();
    const bool same_driver = before != nullptr && before->provider == driver.provider &&
                             before->description == driver.description;
    driver.driver = same_driver ? before->driver : place;
    driver.version_first =
        same_driver && before->numbers == driver.numbers && before->date == driver.date
            ? before->version_first
            : place;
    matches.push_back(row.integer(10) != 0);
    place_of.emplace(row.integer(0), place);
    rows.push_back(std::move(driver));
  });
  if (!read) return Failed(read.error());
  // By the place of a driver's first row: whether any row of it matches.
  std::vector<bool> wanted(rows.size());
  for (std::size_t place = 0; place < rows.size(); ++place) {
    if (matches[place]) wanted[rows[place].driver] = true;
  }
  return wanted;
}

std::string numbers_text(const std::array<std::int64_t, 4>& numbers) {
  return std::to_string(numbers[0]) + "." + std::to_string(numbers[1]) + "." +
         std::to_string(numbers[2]) + "." + std::to_string(numbers[3]);
}

// What a version's INF names make: the one name, or how many.
std::optional<std::string> inf_text(std::vector<const std::optional<std::string>*> names) {
  std::ranges::sort(names, [](const auto* a, const auto* b) { return *a < *b; });
  const auto same = [](const auto* a, const auto* b) { return *a == *b; };
  names.erase(std::unique(names.begin(), names.end(), same), names.end());
  if (names.size() == 1) return *names[0];
  const bool published = std::ranges::all_of(names, [](const std::optional<std::string>* name) {
    if (!*name) return false;
    std::string lower = **name;
    std::ranges::transform(lower, lower.begin(), [](unsigned char c) {
      return static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
    });
    return lower.starts_with("oem") && lower.ends_with(".inf") && lower.size() >= 7;
  });
  const std::string count = std::to_string(names.size()) + " names";
  return published ? "oem*.inf (" + count + ")" : count;
}

}  // namespace

std::optional<std::vector<std::int64_t>> id_list(std::string_view json) {
  if (json.size() < 2 || json.front() != '[' || json.back() != ']') return std::nullopt;
  json = json.substr(1, json.size() - 2);
  std::vector<std::int64_t> ids;
  while (!json.empty()) {
    std::int64_t id = 0;
    const auto [end, error] = std::from_chars(json.data(), json.data() + json.size(), id);
    if (error != std::errc{}) return std::nullopt;
    ids.push_back(id);
    json.remove_prefix(static_cast<std::size_t>(end - json.data()));
    if (json.empty()) break;
    if (json.front() != ',' || json.size() == 1) return std::nullopt;
    json.remove_prefix(1);
  }
  return ids;
}

std::expected<DriverRuns, std::string> read_driver_runs(Database& db,
                                                        const std::optional<std::string>& text) {
  DriverRuns runs;
  std::unordered_map<std::int64_t, std::size_t> place_of;
  const auto wanted = read_rows(db, text, runs.rows, place_of);
  if (!wanted) return Failed(wanted.error());
  auto latest = db.prepare(kLatestDrivers);
  if (!latest) return Failed(latest.error());
  bool whole = true;
  auto read = each_row(*latest, [&](const Statement& row) {
    RunningHost host{
        .name = std::string(row.text(0)), .last_seen = std::string(row.text(1)), .rows = {}};
    const auto ids = id_list(row.text(2));
    whole = whole && ids.has_value();
    for (const std::int64_t id : ids.value_or(std::vector<std::int64_t>{})) {
      const auto at = place_of.find(id);
      whole = whole && at != place_of.end();
      if (at != place_of.end() && (*wanted)[runs.rows[at->second].driver]) {
        host.rows.push_back(at->second);
      }
    }
    std::ranges::sort(host.rows);
    runs.hosts.push_back(std::move(host));
  });
  if (!read) return Failed(read.error());
  if (!whole) return Failed("A report's list of drivers does not read as the index writes it.");
  return runs;
}

std::vector<DriverVersionCount> count_versions(const DriverRuns& runs) {
  std::vector<std::int64_t> hosts(runs.rows.size());  // by the place of a version's first row
  std::vector<bool> run(runs.rows.size());
  for (const RunningHost& host : runs.hosts) {
    // A host's rows ascend, so the rows of one version stand together in them.
    std::size_t counted = runs.rows.size();
    for (const std::size_t place : host.rows) {
      run[place] = true;
      const std::size_t version = runs.rows[place].version_first;
      if (version != counted) ++hosts[version];
      counted = version;
    }
  }
  std::vector<DriverVersionCount> versions;
  for (std::size_t first = 0; first < runs.rows.size();) {
    std::size_t end = first + 1;
    while (end < runs.rows.size() && runs.rows[end].version_first == first) ++end;
    std::vector<const std::optional<std::string>*> names;
    for (std::size_t place = first; place < end; ++place) {
      if (run[place]) names.push_back(&runs.rows[place].inf);
    }
    if (hosts[first] > 0) versions.push_back({&runs.rows[first], inf_text(names), hosts[first]});
    first = end;
  }
  return versions;
}

std::expected<void, std::string> write_drivers(Database& db, const std::optional<std::string>& text,
                                               TableFormat format, const LineSink& out) {
  const auto runs = read_driver_runs(db, text);
  if (!runs) return Failed(runs.error());
  TableLines lines(format, out);
  lines.row({"provider", "description", "inf", "version", "date", "hosts"});
  for (const DriverVersionCount& version : count_versions(*runs)) {
    const DriverRow& row = *version.row;
    lines.row({row.provider, row.description, version.inf, row.version, row.date,
               std::to_string(version.hosts)});
  }
  (void)lines.finish();
  return {};
}

std::expected<void, std::string> write_behind(
    Database& db, const std::optional<std::string>& text,
    const std::optional<std::array<std::int64_t, 4>>& version, TableFormat format,
    const LineSink& out) {
  const auto runs = read_driver_runs(db, text);
  if (!runs) return Failed(runs.error());
  const std::vector<DriverRow>& rows = runs->rows;
  // Each driver's newest row that a host runs: its first, as the rows go newest first.
  std::vector<std::size_t> newest(rows.size(), rows.size());
  for (const RunningHost& host : runs->hosts) {
    for (const std::size_t place : host.rows) {
      std::size_t& first = newest[rows[place].driver];
      first = std::min(first, place);
    }
  }
  // (driver, the first row of its numbers, host): by driver, oldest first, then host.
  std::vector<std::tuple<std::size_t, std::size_t, std::size_t>> behind;
  for (std::size_t host = 0; host < runs->hosts.size(); ++host) {
    for (const std::size_t place : runs->hosts[host].rows) {
      const DriverRow& row = rows[place];
      const auto& target = version ? *version : rows[newest[row.driver]].numbers;
      if (row.numbers >= target) continue;
      std::size_t numbers_first = place;
      while (numbers_first > row.driver && rows[numbers_first - 1].numbers == row.numbers) {
        --numbers_first;
      }
      behind.emplace_back(row.driver, numbers_first, host);
    }
  }
  std::ranges::sort(behind, [](const auto& a, const auto& b) {
    return std::tie(std::get<0>(a), std::get<1>(b), std::get<2>(a)) <
           std::tie(std::get<0>(b), std::get<1>(a), std::get<2>(b));
  });
  behind.erase(std::unique(behind.begin(), behind.end()), behind.end());
  const std::optional<std::string> asked =
      version ? std::optional(numbers_text(*version)) : std::nullopt;
  TableLines lines(format, out);
  lines.row({"host", "provider", "description", "version", "behind", "last_seen"});
  for (const auto& [driver, numbers_first, host] : behind) {
    const DriverRow& row = rows[numbers_first];
    lines.row({runs->hosts[host].name, row.provider, row.description, row.version,
               asked ? *asked : rows[newest[driver]].version, runs->hosts[host].last_seen});
  }
  (void)lines.finish();
  return {};
}

}  // namespace qv
