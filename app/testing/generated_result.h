// Scan results made from a source of choices: a seeded generator in the unit
// tests, the fuzzer's bytes in the fuzz targets. Identities keep the type's own
// invariant (a date in range, never an undated 0.0.0.0); the texts are the
// source's.
//
//   SeededChoices choices(12, {"a", "=", "\xc3\xa9"});
//   const ScanResult result = generated_result(choices, 6);
#pragma once

#include <cstddef>
#include <initializer_list>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "scan_result.h"

namespace qv {

class Choices {
 public:
  virtual ~Choices() = default;
  // A number from 0 to `count` - 1.
  [[nodiscard]] virtual std::size_t below(std::size_t count) = 0;
  [[nodiscard]] virtual std::string text() = 0;
  // Whether the source has run dry: no more devices are made then.
  [[nodiscard]] virtual bool exhausted() { return false; }
};

// Up to `max_devices` devices, each with up to `max_ids` ids of each kind.
[[nodiscard]] ScanResult generated_result(Choices& choices, std::size_t max_devices,
                                          std::size_t max_ids = 4);

// Choices from a seeded generator; texts are up to seven of `pieces` joined.
class SeededChoices final : public Choices {
 public:
  SeededChoices(unsigned seed, std::initializer_list<std::string_view> pieces)
      : random_(seed), pieces_(pieces) {}
  std::size_t below(std::size_t count) override;
  std::string text() override;

 private:
  std::mt19937 random_;
  std::vector<std::string_view> pieces_;
};

}  // namespace qv
