// IdLists gathers, over one transaction, the new device states that hold each
// hardware or compatible id, and writes them at its end as one row of
// device_id_states per id value: the value, the first of its states, and the
// JSON list of them all, ascending. Values equal but for ASCII case share a row,
// as they compare equal in the index. A lookup by value reads a few rows, and a
// transaction writes one row for each value it met instead of one per device id.
//
//   IdLists lists;
//   lists.add("PCI\\VEN_8086&DEV_1", 41);
//   lists.add("pci\\ven_8086&dev_1", 42);  // the same row: [41,42]
//   auto insert = db.prepare(IdLists::kInsert);
//   if (auto written = lists.write(*insert); !written) ...  // empty again either way
#pragma once

#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "database.h"

namespace qv {

// A JSON list of ids, as report.states, report.copies, report.drivers and
// device_id_states.state_ids hold them: "[1,2,3]".
void append_id_list(std::string& json, std::span<const std::int64_t> ids);

class IdLists {
 public:
  static constexpr std::string_view kInsert =
      "INSERT INTO device_id_states (value, first_state_id, state_ids) VALUES (?1, ?2, ?3)";

  // States come in ascending order, as the index numbers them.
  void add(std::string_view value, std::int64_t state_id);
  // One row per value met since the last write or clear, in the order of the
  // table's key; then nothing is held.
  [[nodiscard]] std::expected<void, std::string> write(Statement& insert);
  void clear() { lists_.clear(); }

 private:
  struct List {
    std::string value;  // as first met
    std::vector<std::int64_t> states;
  };
  std::unordered_map<std::string, List> lists_;  // by the value in ASCII lower case
  std::string folded_;                           // add's key, kept to spare an allocation
};

// The lists a run makes, made again from device_id for every device state the
// index holds, in the order a run adds them, and written through `insert`, a
// statement of kInsert's parameters: what an upgrade fills the table with,
// and what a check of an index compares it with.
[[nodiscard]] std::expected<void, std::string> write_id_lists_from_device_ids(Database& db,
                                                                              Statement& insert);

}  // namespace qv
