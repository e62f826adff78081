#include "driver_runs.h"

#include <algorithm>
#include <charconv>
#include <set>
#include <tuple>
#include <unordered_map>
#include <unordered_set>

namespace qv {
namespace {

constexpr std::string_view kDriverRows =
    "SELECT driver_id, provider, description, inf, version, date, v1, v2, v3, v4 FROM driver";

// The drivers that a device state holding ?1 in its matching id was matched by.
constexpr std::string_view kMatchedDrivers =
    "SELECT DISTINCT driver_id FROM device_state "
    "WHERE driver_id IS NOT NULL AND instr(lower(driver_matching_id), lower(?1)) > 0";

constexpr std::string_view kLatestDrivers = R"sql(SELECT h.name, s.taken_at, r.drivers
FROM latest_snapshot AS s
JOIN host AS h ON h.host_id = s.host_id
JOIN report AS r ON r.report_id = s.report_id
ORDER BY h.name)sql";

// The place of each driver row that a host runs, by its id: a flat table for
// the ids SQLite gives out from 1 up, which took a tenth of a question's time as
// a hash map, and a map for any far from them.
class PlaceOfId {
 public:
  static constexpr std::size_t kNotRun = static_cast<std::size_t>(-1);
  static constexpr std::size_t kRun = kNotRun - 1;  // not yet placed

  void mark_run(std::int64_t id) {
    if (std::size_t* at = find(id, true); *at == kNotRun) *at = kRun;
  }
  void place(std::int64_t id, std::size_t place) { *find(id, true) = place; }
  [[nodiscard]] std::size_t get(std::int64_t id) {
    const std::size_t* at = find(id, false);
    return at != nullptr ? *at : kNotRun;
  }

 private:
  static constexpr std::int64_t kFlat = std::int64_t{1} << 20;

  std::size_t* find(std::int64_t id, bool make) {
    if (id >= 0 && id < kFlat) {
      const auto at = static_cast<std::size_t>(id);
      if (at >= flat_.size()) {
        if (!make) return nullptr;
        flat_.resize(at + 1, kNotRun);
      }
      return &flat_[at];
    }
    const auto at = far_.find(id);
    if (at != far_.end()) return &at->second;
    return make ? &far_.emplace(id, kNotRun).first->second : nullptr;
  }

  std::vector<std::size_t> flat_;
  std::unordered_map<std::int64_t, std::size_t> far_;
};

std::optional<std::string> optional_string(const Statement& row, int column) {
  const auto text = row.optional_text(column);
  return text ? std::optional<std::string>(*text) : std::nullopt;
}

using DriverKey = std::pair<std::optional<std::string>, std::string>;

// The rows that the latest snapshots run, with whether each matches, and the
// drivers of the others that match: a driver is wanted whole. Only the rows that
// are run are kept and sorted, half of an index that has run for a month.
struct ReadRows {
  std::vector<DriverRow> rows;
  std::vector<std::int64_t> ids;
  std::vector<bool> matches;
  std::set<DriverKey> matching_drivers;
};

std::string ascii_lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
  }
  return lower;
}

// Whether `text` holds `lower` (in ASCII lower case) without regard to ASCII case,
// as instr(lower(text), lower(?1)) > 0 tells it in SQLite.
bool holds(const std::optional<std::string_view>& text, std::string_view lower) {
  if (!text) return false;
  const auto same = [](char c, char wanted) {
    return (c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c) == wanted;
  };
  return lower.empty() || std::ranges::search(*text, lower, same).begin() != text->end();
}

std::expected<ReadRows, std::string> read_rows(Database& db, const std::optional<std::string>& text,
                                               PlaceOfId& run) {
  std::unordered_set<std::int64_t> matched;  // by a device id
  if (text) {
    auto statement = db.prepare(kMatchedDrivers);
    if (!statement) return Failed(statement.error());
    statement->bind(1, *text);
    auto done = each_row(*statement, [&](const Statement& row) { matched.insert(row.integer(0)); });
    if (!done) return Failed(done.error());
  }
  const std::string lower = ascii_lower(text.value_or(""));
  auto statement = db.prepare(kDriverRows);
  if (!statement) return Failed(statement.error());
  ReadRows read;
  auto done = each_row(*statement, [&](const Statement& row) {
    const bool matches = !text || holds(row.optional_text(1), lower) || holds(row.text(2), lower) ||
                         holds(row.optional_text(3), lower) || matched.contains(row.integer(0));
    if (run.get(row.integer(0)) == PlaceOfId::kNotRun) {
      if (text && matches) read.matching_drivers.emplace(optional_string(row, 1), row.text(2));
      return;
    }
    read.rows.push_back(
        {.provider = optional_string(row, 1),
         .description = std::string(row.text(2)),
         .inf = optional_string(row, 3),
         .version = std::string(row.text(4)),
         .date = optional_string(row, 5),
         .numbers = {row.integer(6), row.integer(7), row.integer(8), row.integer(9)}});
    read.ids.push_back(row.integer(0));
    read.matches.push_back(matches);
  });
  if (!done) return Failed(done.error());
  return read;
}

// As SQLite orders by provider, description, numbers and date, the last two
// descending: texts by their bytes, an absent one first (last, descending).
bool listed_before(const DriverRow& a, const DriverRow& b) {
  return std::tie(a.provider, a.description, b.numbers, b.date) <
         std::tie(b.provider, b.description, a.numbers, a.date);
}

// Puts the rows in the questions' order, marks where each driver and each version
// starts, and gives each id its place; by the place of a driver's first row,
// whether it is wanted.
std::vector<bool> order_rows(ReadRows& read, std::vector<DriverRow>& rows, PlaceOfId& place_of) {
  std::vector<std::size_t> order(read.rows.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::ranges::sort(order, [&](std::size_t a, std::size_t b) {
    if (listed_before(read.rows[a], read.rows[b])) return true;
    return !listed_before(read.rows[b], read.rows[a]) && read.ids[a] < read.ids[b];
  });
  std::vector<bool> wanted(order.size());
  for (const std::size_t i : order) {
    const std::size_t place = rows.size();
    DriverRow driver = std::move(read.rows[i]);
    const DriverRow* before = rows.empty() ? nullptr : &rows.back();
    const bool same_driver = before != nullptr && before->provider == driver.provider &&
                             before->description == driver.description;
    driver.driver = same_driver ? before->driver : place;
    driver.version_first =
        same_driver && before->numbers == driver.numbers && before->date == driver.date
            ? before->version_first
            : place;
    if (read.matches[i] ||
        (!same_driver && read.matching_drivers.contains({driver.provider, driver.description}))) {
      wanted[driver.driver] = true;
    }
    place_of.place(read.ids[i], place);
    rows.push_back(std::move(driver));
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
  std::vector<std::vector<std::int64_t>> ids;  // of each host
  PlaceOfId place_of;
  auto latest = db.prepare(kLatestDrivers);
  if (!latest) return Failed(latest.error());
  bool whole = true;
  auto done = each_row(*latest, [&](const Statement& row) {
    runs.hosts.push_back(
        {.name = std::string(row.text(0)), .last_seen = std::string(row.text(1)), .rows = {}});
    auto list = id_list(row.text(2));
    whole = whole && list.has_value();
    for (const std::int64_t id : list.value_or(std::vector<std::int64_t>{})) {
      place_of.mark_run(id);
    }
    ids.push_back(std::move(list).value_or(std::vector<std::int64_t>{}));
  });
  if (!done) return Failed(done.error());
  if (!whole) return Failed("A report's list of drivers does not read as the index writes it.");
  auto read = read_rows(db, text, place_of);
  if (!read) return Failed(read.error());
  const std::vector<bool> wanted = order_rows(*read, runs.rows, place_of);
  for (std::size_t host = 0; host < ids.size(); ++host) {
    std::vector<std::size_t>& rows = runs.hosts[host].rows;
    for (const std::int64_t id : ids[host]) {
      const std::size_t place = place_of.get(id);
      if (place >= PlaceOfId::kRun) {
        return Failed("A report lists a driver that the index does not hold.");
      }
      if (wanted[runs.rows[place].driver]) rows.push_back(place);
    }
    std::ranges::sort(rows);
  }
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
  // By the first row of each version's numbers, the hosts behind on it, ascending
  // as the hosts are taken.
  std::vector<std::vector<std::size_t>> behind(rows.size());
  for (std::size_t host = 0; host < runs->hosts.size(); ++host) {
    for (const std::size_t place : runs->hosts[host].rows) {
      const DriverRow& row = rows[place];
      const auto& target = version ? *version : rows[newest[row.driver]].numbers;
      if (row.numbers >= target) continue;
      std::size_t numbers_first = place;
      while (numbers_first > row.driver && rows[numbers_first - 1].numbers == row.numbers) {
        --numbers_first;
      }
      std::vector<std::size_t>& hosts = behind[numbers_first];
      if (hosts.empty() || hosts.back() != host) hosts.push_back(host);
    }
  }
  const std::optional<std::string> asked =
      version ? std::optional(numbers_text(*version)) : std::nullopt;
  TableLines lines(format, out);
  lines.row({"host", "provider", "description", "version", "behind", "last_seen"});
  for (std::size_t driver = 0; driver < rows.size();) {
    std::size_t end = driver + 1;
    while (end < rows.size() && rows[end].driver == driver) ++end;
    // A driver's rows go newest first: backwards from its last, the oldest first.
    for (std::size_t place = end; place-- > driver;) {
      for (const std::size_t host : behind[place]) {
        lines.row({runs->hosts[host].name, rows[place].provider, rows[place].description,
                   rows[place].version, asked ? *asked : rows[newest[driver]].version,
                   runs->hosts[host].last_seen});
      }
    }
    driver = end;
  }
  (void)lines.finish();
  return {};
}

}  // namespace qv
