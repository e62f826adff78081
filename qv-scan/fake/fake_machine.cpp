#include "fake_machine.h"

#include <algorithm>
#include <utility>

namespace qv::fake {

std::string raw(std::u16string_view units) {
  std::string bytes;
  bytes.reserve(units.size() * 2);
  for (const char16_t unit : units) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

std::string sz(std::u16string_view text) { return raw(text) + raw(std::u16string(1, u'\0')); }

std::string multi_sz(const std::vector<std::u16string>& texts) {
  std::string bytes;
  for (const auto& text : texts) bytes += sz(text);
  return bytes + raw(std::u16string(1, u'\0'));
}

void Machine::fail_call_number(std::size_t number, DWORD code) {
  faults.push_back({.call_number = number, .code = code});
}

void Machine::fail_call(std::string name, DWORD code, std::size_t occurrence) {
  faults.push_back({.name = std::move(name), .occurrence = occurrence, .code = code});
}

std::size_t Machine::open_handles() const {
  return open_keys.size() + open_sets.size() + open_files.size();
}

std::size_t Machine::count_calls(std::string_view name) const {
  return static_cast<std::size_t>(
      std::ranges::count_if(calls, [&](const Call& call) { return call.name == name; }));
}

std::optional<DWORD> Machine::begin_call(Call call) {
  if (!record_calls) return std::nullopt;
  calls.push_back(std::move(call));
  const Call& made = calls.back();
  if (on_call) on_call(made);
  for (const Fault& fault : faults) {
    if (fault.call_number != 0) {
      if (fault.call_number == calls.size()) return fault.code;
    } else if (fault.name == made.name) {
      if (fault.occurrence == 0 || fault.occurrence == count_calls(made.name)) return fault.code;
    }
  }
  return std::nullopt;
}

Machine& machine() {
  static Machine instance;
  return instance;
}

}  // namespace qv::fake
