#include "no_driver.h"

#include <algorithm>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "driver_runs.h"

namespace qv {
namespace {

constexpr std::string_view kDevices = R"sql(SELECT v.state_id, v.instance_id, v.description,
       (SELECT i.value FROM device_id AS i
        WHERE i.state_id = v.state_id AND i.kind = 'hwid' ORDER BY i.position LIMIT 1)
FROM device_state AS v
WHERE v.driver_id IS NULL
  AND (?1 IS NULL
       OR instr(lower(v.description), lower(?1)) > 0
       OR instr(lower(v.instance_id), lower(?1)) > 0
       OR EXISTS (SELECT 1 FROM device_id AS i
                  WHERE i.state_id = v.state_id AND instr(lower(i.value), lower(?1)) > 0)))sql";

constexpr std::string_view kLatestStates = R"sql(SELECT h.name, r.states
FROM latest_snapshot AS s
JOIN host AS h ON h.host_id = s.host_id
JOIN report AS r ON r.report_id = s.report_id
WHERE r.no_driver > 0
ORDER BY h.name)sql";

struct Device {
  std::int64_t state_id = 0;
  std::string instance_id;
  std::string description;
  std::optional<std::string> hardware_id;
};

}  // namespace

std::expected<void, std::string> write_no_driver(Database& db,
                                                 const std::optional<std::string>& text,
                                                 TableFormat format, const LineSink& out) {
  auto devices = db.prepare(kDevices);
  if (!devices) return Failed(devices.error());
  devices->bind(1, text ? std::optional<std::string_view>(*text) : std::nullopt);
  std::vector<Device> found;
  std::unordered_map<std::int64_t, std::size_t> place_of;
  auto read = each_row(*devices, [&](const Statement& row) {
    place_of.emplace(row.integer(0), found.size());
    const auto hardware_id = row.optional_text(3);
    found.push_back({row.integer(0), std::string(row.text(1)), std::string(row.text(2)),
                     hardware_id ? std::optional<std::string>(*hardware_id) : std::nullopt});
  });
  if (!read) return Failed(read.error());
  auto latest = db.prepare(kLatestStates);
  if (!latest) return Failed(latest.error());
  TableLines lines(format, out);
  lines.row({"host", "instance_id", "description", "hardware_id"});
  bool whole = true;
  std::vector<const Device*> held;
  read = each_row(*latest, [&](const Statement& row) {
    const auto states = id_list(row.text(1));
    whole = whole && states.has_value();
    held.clear();
    for (const std::int64_t state : states.value_or(std::vector<std::int64_t>{})) {
      if (const auto at = place_of.find(state); at != place_of.end()) {
        held.push_back(&found[at->second]);
      }
    }
    std::ranges::sort(held, [](const Device* a, const Device* b) {
      return std::tie(a->instance_id, a->state_id) < std::tie(b->instance_id, b->state_id);
    });
    for (const Device* device : held) {
      lines.row({row.text(0), device->instance_id, device->description, device->hardware_id});
    }
  });
  if (!read) return Failed(read.error());
  if (!whole) return Failed("A report's list of devices does not read as the index writes it.");
  (void)lines.finish();
  return {};
}

}  // namespace qv
