#include <benchmark/benchmark.h>

#include <array>
#include <string>
#include <string_view>

#include "driver.h"

namespace {

void BM_ParseDriverIdentity(benchmark::State& state) {
  const std::array<std::string_view, 2> fields = {"6/21/2006", "10.0.19041.1"};
  for (auto _ : state) {
    auto identity = qv::parse_driver_identity(fields);
    benchmark::DoNotOptimize(identity);
  }
}
BENCHMARK(BM_ParseDriverIdentity);

// Padded fields with multi-byte White_Space on both ends of every piece.
void BM_ParseDriverIdentitySpaced(benchmark::State& state) {
  const std::array<std::string_view, 2> fields = {"\xE3\x80\x80 12 / 31 / 99 \xC2\xA0",
                                                  "\t6 . 1 . 7600 . 16385\xE2\x80\xAF"};
  for (auto _ : state) {
    auto identity = qv::parse_driver_identity(fields);
    benchmark::DoNotOptimize(identity);
  }
}
BENCHMARK(BM_ParseDriverIdentitySpaced);

const qv::DriverIdentity kIdentity{qv::DriverDate{2006, 6, 21},
                                   qv::DriverVersion{{10, 0, 19041, 1}}};

// A fresh text per call, as the listing and the report use it.
void BM_DriverIdentityText(benchmark::State& state) {
  for (auto _ : state) {
    std::string text = qv::driver_identity_text(kIdentity);
    benchmark::DoNotOptimize(text);
  }
}
BENCHMARK(BM_DriverIdentityText);

// Rendering alone, into a text that already has room.
void BM_AppendDriverIdentityText(benchmark::State& state) {
  std::string sink;
  sink.reserve(64);
  for (auto _ : state) {
    sink.clear();
    qv::append_driver_identity_text(sink, kIdentity);
    benchmark::DoNotOptimize(sink.data());
  }
}
BENCHMARK(BM_AppendDriverIdentityText);

}  // namespace

BENCHMARK_MAIN();
