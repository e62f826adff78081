// The page's data as JSON, its keys in the order the page's script and this
// file agree on; no white space, since a fleet's page is large enough.
#include <algorithm>
#include <charconv>
#include <chrono>
#include <map>
#include <utility>

#include "json_text.h"
#include "page_fleet.h"

namespace qv {
namespace {

class Json {
 public:
  std::string text;

  void string(std::string_view value) {
    comma();
    append_json_string(text, value);
  }
  void null() {
    comma();
    text += "null";
  }
  void value(const Text& value) { value ? string(*value) : null(); }
  void number(std::int64_t value) {
    comma();
    text += std::to_string(value);
  }
  void number(std::size_t value) { number(static_cast<std::int64_t>(value)); }
  void key(std::string_view name) {
    string(name);
    text += ':';
    after_key_ = true;
  }
  void open(char bracket) {
    comma();
    text += bracket;
    fresh_ = true;
  }
  void close(char bracket) {
    text += bracket;
    fresh_ = false;
  }
  template <typename Each>
  void array(Each&& each) {
    open('[');
    each();
    close(']');
  }
  template <typename... Values>
  void row(const Values&... values) {
    array([&] { (item(values), ...); });
  }
  void item(std::string_view value) { string(value); }
  void item(const std::string& value) { string(value); }
  void item(const Text& value) { this->value(value); }
  void item(std::int64_t value) { number(value); }
  void item(std::size_t value) { number(value); }

 private:
  // A comma before every value but the first of its array or object, and one
  // that follows its key.
  void comma() {
    if (after_key_) {
      after_key_ = false;
    } else if (!fresh_) {
      text += ',';
    }
    fresh_ = false;
  }

  bool fresh_ = true;
  bool after_key_ = false;
};

void write_totals(Json& json, const PageFleet& fleet) {
  json.key("totals");
  json.open('{');
  json.key("hosts");
  json.number(fleet.hosts.size());
  json.key("snapshots");
  json.number(fleet.snapshot_count);
  json.key("drivers");
  json.number(fleet.drivers.size());
  json.key("no_driver");
  json.number(fleet.no_driver);
  json.close('}');
}

void write_hosts(Json& json, const PageFleet& fleet) {
  json.key("hosts");
  json.array([&] {
    for (const PageHost& host : fleet.hosts) {
      const std::int64_t age = fleet.newest ? days_between(host.last_seen, *fleet.newest) : 0;
      json.row(host.name, host.last_seen, host.os, host.devices, host.no_driver, age);
    }
  });
}

// Ascending numbers as the first and then each one's distance from the one
// before: hosts and device states are numbered in order, so most distances are
// short, and a large fleet's lists take half the room.
void write_rising(Json& json, const std::vector<std::size_t>& numbers) {
  json.array([&] {
    std::size_t before = 0;
    for (const std::size_t number : numbers) {
      json.item(number - before);
      before = number;
    }
  });
}

bool is_utf8_continuation(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

}  // namespace

std::pair<std::size_t, std::size_t> shared_beginning(std::string_view before, std::string_view id) {
  std::size_t bytes = static_cast<std::size_t>(std::ranges::mismatch(before, id).in2 - id.begin());
  while (bytes > 0 && bytes < id.size() && is_utf8_continuation(id[bytes])) --bytes;
  std::size_t units = 0;
  for (std::size_t i = 0; i < bytes; ++i) {
    const auto byte = static_cast<unsigned char>(id[i]);
    if (byte < 0x80 || (byte >= 0xC2 && byte < 0xF0)) {
      ++units;
    } else if (byte >= 0xF0 && byte < 0xF5) {
      units += 2;
    } else if (!is_utf8_continuation(id[i])) {
      return {0, 0};  // not UTF-8 as the page will hold it: nothing shared
    }
  }
  return {units, bytes};
}

namespace {

void write_drivers(Json& json, const PageFleet& fleet) {
  json.key("drivers");
  json.array([&] {
    for (const PageDriver& driver : fleet.drivers) {
      json.array([&] {
        json.item(driver.provider);
        json.item(driver.description);
        json.array([&] {
          for (const PageVersion& version : driver.versions) {
            json.array([&] {
              json.item(version.version);
              json.item(version.date);
              json.item(version.inf);
              json.number(std::int64_t{version.behind ? 1 : 0});
              write_rising(json, version.hosts);
            });
          }
        });
        json.array([&] {
          for (const std::string& id : driver.matching_ids) json.item(id);
        });
      });
    }
  });
}

using TextPlaces = std::map<std::string_view, std::int64_t>;

// The distinct texts of the hosts' details, numbered in their order: the device
// states' and the descriptions of the devices that the pairs the page holds name.
TextPlaces text_places(const PageFleet& fleet) {
  TextPlaces texts;
  if (!fleet.details) return texts;
  for (const auto& [id, description, version, provider, inf, class_guid] : fleet.states) {
    texts.emplace(description, 0);
    for (const Text* text : {&version, &provider, &inf, &class_guid}) {
      if (*text) texts.emplace(**text, 0);
    }
  }
  for (const PageSnapshot& snapshot : fleet.snapshots) {
    if (!snapshot.differences) continue;
    for (const Text& description : snapshot.descriptions) {
      if (description) texts.emplace(*description, 0);
    }
  }
  std::int64_t place = 0;
  for (auto& [text, number] : texts) number = place++;
  return texts;
}

// The device states of the hosts' details, in instance id order: each id as
// how much it shares with the one before and the rest, and its other texts as
// places in one list of the distinct texts, since a fleet's devices repeat their
// descriptions, versions and providers.
void write_states(Json& json, const PageFleet& fleet, const TextPlaces& texts) {
  json.key("texts");
  json.array([&] {
    for (const auto& [text, number] : texts) json.item(text);
  });
  const auto place_of = [&](const Text& text) { return text ? texts.at(*text) : -1; };
  // The ids as places in one list of the distinct ids, which `find` looks in.
  std::map<std::string_view, std::size_t> ids;
  if (fleet.details && fleet.ids) {
    for (const std::set<std::string>& state : fleet.state_ids) {
      for (const std::string& id : state) ids.emplace(id, 0);
    }
  }
  json.key("ids");
  json.array([&] {
    std::size_t place = 0;
    for (auto& [id, number] : ids) {
      json.item(id);
      number = place++;
    }
  });
  json.key("states");
  json.array([&] {
    if (!fleet.details) return;
    std::string_view before;
    for (std::size_t place = 0; place < fleet.states.size(); ++place) {
      const auto& [id, description, version, provider, inf, class_guid] = fleet.states[place];
      const auto [units, bytes] = shared_beginning(before, id);
      std::vector<std::size_t> id_places;
      if (fleet.ids && place < fleet.state_ids.size()) {
        for (const std::string& value : fleet.state_ids[place]) id_places.push_back(ids.at(value));
      }
      std::ranges::sort(id_places);
      json.array([&] {
        json.item(units);
        json.item(std::string_view(id).substr(bytes));
        json.item(texts.at(description));
        for (const Text* text : {&version, &provider, &inf, &class_guid})
          json.item(place_of(*text));
        write_rising(json, id_places);
      });
      before = id;
    }
  });
}

// A pair's changes as the places in `texts` of the descriptions of the devices
// they name, one per device in their order (-1: none); null when the page does
// not hold them.
void write_descriptions(Json& json, const PageSnapshot& snapshot, const TextPlaces& texts) {
  if (!snapshot.differences) return json.null();
  json.array([&] {
    for (const Text& description : snapshot.descriptions) {
      json.number(description ? texts.at(*description) : std::int64_t{-1});
    }
  });
}

void write_details(Json& json, const PageFleet& fleet) {
  const TextPlaces texts = text_places(fleet);
  write_states(json, fleet, texts);
  json.key("host_details");
  if (!fleet.details) {
    json.null();
    json.key("details_left_out");
    json.string(fleet.details_left_out);
    return;
  }
  json.array([&] {
    for (const PageHost& host : fleet.hosts) {
      json.open('{');
      json.key("devices");
      write_rising(json, host.states);
      json.key("snapshots");
      json.array([&] {
        for (const std::size_t place : host.snapshots) {
          const PageSnapshot& snapshot = fleet.snapshots[place];
          json.array([&] {
            json.item(snapshot.taken_at);
            for (const std::int64_t number : {snapshot.devices, snapshot.counts.added,
                                              snapshot.counts.removed, snapshot.counts.changed}) {
              json.number(number);
            }
            json.value(snapshot.differences);
            write_descriptions(json, snapshot, texts);
          });
        }
      });
      json.close('}');
    }
  });
  json.key("details_left_out");
  fleet.details_left_out.empty() ? json.null() : json.string(fleet.details_left_out);
}

void write_changes(Json& json, const PageFleet& fleet) {
  json.key("days");
  json.array([&] {
    for (const auto& [day, counts] : fleet.days) {
      json.row(day, counts.added, counts.removed, counts.changed);
    }
  });
}

void write_no_driver(Json& json, const PageFleet& fleet) {
  json.key("no_driver");
  json.array([&] {
    for (const NoDriverGroup& group : fleet.no_driver_groups) {
      json.array([&] {
        json.item(group.description);
        json.item(group.hardware_id);
        write_rising(json, group.hosts);
      });
    }
  });
}

// Seconds since 1970 of "YYYY-MM-DDTHH:MM:SSZ".
std::optional<std::int64_t> seconds_of(std::string_view time) {
  if (time.size() != 20 || time[4] != '-' || time[7] != '-' || time[10] != 'T' || time[13] != ':' ||
      time[16] != ':' || time[19] != 'Z') {
    return std::nullopt;
  }
  std::int64_t parts[6] = {};
  constexpr std::size_t kAt[6] = {0, 5, 8, 11, 14, 17};
  constexpr std::size_t kLength[6] = {4, 2, 2, 2, 2, 2};
  for (int i = 0; i < 6; ++i) {
    const char* first = time.data() + kAt[i];
    const char* last = first + kLength[i];
    if (std::from_chars(first, last, parts[i]).ptr != last) return std::nullopt;
  }
  using namespace std::chrono;
  const year_month_day day{year(static_cast<int>(parts[0])), month(static_cast<unsigned>(parts[1])),
                           std::chrono::day(static_cast<unsigned>(parts[2]))};
  if (!day.ok()) return std::nullopt;
  return sys_days(day).time_since_epoch().count() * 86400 + parts[3] * 3600 + parts[4] * 60 +
         parts[5];
}

}  // namespace

std::int64_t days_between(std::string_view then, std::string_view now) {
  const auto from = seconds_of(then);
  const auto to = seconds_of(now);
  if (!from || !to || *to < *from) return 0;
  return (*to - *from) / 86400;
}

std::string page_json(const PageFleet& fleet) {
  Json json;
  json.open('{');
  json.key("title");
  json.string(fleet.title);
  json.key("newest");
  json.value(fleet.newest);
  write_totals(json, fleet);
  write_hosts(json, fleet);
  write_drivers(json, fleet);
  write_details(json, fleet);
  write_changes(json, fleet);
  write_no_driver(json, fleet);
  json.close('}');
  return std::move(json.text);
}

}  // namespace qv
