#include "id_lists.h"

#include <algorithm>
#include <charconv>
#include <iterator>

namespace qv {

void append_id_list(std::string& json, std::span<const std::int64_t> ids) {
  json += '[';
  for (std::size_t i = 0; i < ids.size(); ++i) {
    if (i > 0) json += ',';
    char digits[24];
    const auto end = std::to_chars(std::begin(digits), std::end(digits), ids[i]).ptr;
    json.append(digits, end);
  }
  json += ']';
}

void IdLists::add(std::string_view value, std::int64_t state_id) {
  folded_.assign(value);
  for (char& c : folded_) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  auto [at, made] = lists_.try_emplace(folded_);
  List& list = at->second;
  if (made) list.value.assign(value);
  // A state may hold a value twice, as a hardware and a compatible id.
  if (list.states.empty() || list.states.back() != state_id) list.states.push_back(state_id);
}

std::expected<void, std::string> IdLists::write(Statement& insert) {
  // In the key's order, SQLite's NOCASE being ASCII lower case compared as bytes:
  // each row lands next to the last one written.
  std::vector<const std::pair<const std::string, List>*> ordered;
  ordered.reserve(lists_.size());
  for (const auto& entry : lists_) ordered.push_back(&entry);
  std::ranges::sort(ordered, {},
                    [](const auto* entry) -> const std::string& { return entry->first; });
  std::string json;
  for (const auto* entry : ordered) {
    const List& list = entry->second;
    json.clear();
    append_id_list(json, list.states);
    insert.bind(1, list.value);
    insert.bind(2, list.states.front());
    insert.bind(3, json);
    if (auto ran = insert.run(); !ran) {
      lists_.clear();
      return ran;
    }
  }
  lists_.clear();
  return {};
}

std::expected<void, std::string> write_id_lists_from_device_ids(Database& db, Statement& insert) {
  auto ids =
      db.prepare("SELECT value, state_id FROM device_id ORDER BY state_id, kind DESC, position");
  if (!ids) return Failed(ids.error());
  IdLists lists;
  if (auto read =
          each_row(*ids, [&](const Statement& row) { lists.add(row.text(0), row.integer(1)); });
      !read) {
    return read;
  }
  return lists.write(insert);
}

}  // namespace qv
