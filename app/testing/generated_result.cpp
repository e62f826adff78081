#include "generated_result.h"

#include <cstdint>
#include <optional>

namespace qv {
namespace {

std::optional<std::string> maybe_text(Choices& choices) {
  if (choices.below(3) == 0) return std::nullopt;
  return choices.text();
}

std::vector<std::string> texts(Choices& choices, std::size_t max_ids) {
  std::vector<std::string> list(choices.below(max_ids + 1));
  for (auto& entry : list) entry = choices.text();
  return list;
}

std::uint16_t number(Choices& choices, std::size_t low, std::size_t high) {
  return static_cast<std::uint16_t>(low + choices.below(high - low + 1));
}

DriverIdentity identity(Choices& choices) {
  DriverIdentity identity;
  if (choices.below(2) == 0) {
    identity.date = DriverDate{number(choices, 100, 65535),
                               static_cast<std::uint8_t>(number(choices, 1, 12)),
                               static_cast<std::uint8_t>(number(choices, 1, 31))};
  }
  for (auto& part : identity.version.parts) {
    part = choices.below(3) == 0 ? 0 : number(choices, 0, 65535);
  }
  if (!identity.date && identity.version == DriverVersion{}) identity.version.parts[3] = 1;
  return identity;
}

}  // namespace

ScanResult generated_result(Choices& choices, std::size_t max_devices, std::size_t max_ids) {
  // Braced lists keep the choices in order.
  ScanResult result{.host = choices.text(),
                    .os = choices.text(),
                    .arch = choices.text(),
                    .server = choices.below(2) == 1};
  for (std::size_t n = choices.below(max_devices + 1); n > 0 && !choices.exhausted(); --n) {
    DeviceRecord& device = result.devices.emplace_back(DeviceRecord{
        choices.text(), choices.text(), maybe_text(choices), texts(choices, max_ids),
        texts(choices, max_ids)});
    if (choices.below(3) == 0) continue;
    device.driver = DriverInfo{identity(choices),  choices.text(),       maybe_text(choices),
                               maybe_text(choices), maybe_text(choices), maybe_text(choices)};
  }
  return result;
}

std::size_t SeededChoices::below(std::size_t count) {
  return std::uniform_int_distribution<std::size_t>(0, count - 1)(random_);
}

std::string SeededChoices::text() {
  std::string out;
  for (std::size_t n = below(8); n > 0; --n) out += pieces_[below(pieces_.size())];
  return out;
}

}  // namespace qv
