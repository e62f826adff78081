// Report serialisation against plain copies of the same number of bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "report.h"

namespace {

constexpr std::size_t kDevices = 100'000;

// Realistic field sizes; every 16th device carries control characters and
// every 4th has no driver, so the slow paths are exercised too.
const qv::ScanResult& sample() {
  static const qv::ScanResult result = [] {
    qv::ScanResult r{.host = "DESKTOP-7Q2M4KD", .os = "10.0.19045", .arch = "amd64"};
    r.devices.reserve(kDevices);
    for (std::size_t i = 0; i < kDevices; ++i) {
      const std::string n = std::to_string(i);
      qv::DeviceRecord d{
          .instance_id = "PCI\\VEN_8086&DEV_15F3&SUBSYS_00008086&REV_03\\4&2F1C0A9B&0&" + n,
          .description = i % 16 == 0 ? "Intel(R) Ethernet\r\nController\t(2) I225-V \xc2\x85"
                                     : "Intel(R) Ethernet Controller (2) I225-V #" + n,
          .class_guid = "{4d36e972-e325-11ce-bfc1-08002be10318}",
          .hardware_ids = {"PCI\\VEN_8086&DEV_15F3&SUBSYS_00008086&REV_03",
                           "PCI\\VEN_8086&DEV_15F3&SUBSYS_00008086"},
          .compatible_ids = {"PCI\\VEN_8086&DEV_15F3&REV_03", "PCI\\CC_020000"},
      };
      if (i % 4 != 0) {
        d.driver = qv::DriverInfo{
            .identity = {qv::DriverDate{2023, 3, 14}, qv::DriverVersion{{2, 1, 3, 15}}},
            .description = "Intel(R) Ethernet Controller (2) I225-V",
            .provider = "Intel",
            .inf_path = "oem12.inf",
            .inf_section_ext = ".NTAMD64",
            .matching_device_id = "PCI\\VEN_8086&DEV_15F3&SUBSYS_00008086"};
      }
      r.devices.push_back(std::move(d));
    }
    return r;
  }();
  return result;
}

std::size_t report_size() {
  static const std::size_t size = qv::serialize_report(sample()).size();
  return size;
}

void serialize(benchmark::State& state) {
  const qv::ScanResult& result = sample();
  for (auto _ : state) {
    std::string report = qv::serialize_report(result);
    benchmark::DoNotOptimize(report.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * report_size()));
}

// A copy into a buffer that is already mapped: the ceiling.
void copy_warm(benchmark::State& state) {
  const std::string source(report_size(), 'x');
  std::string target(report_size(), '\0');
  for (auto _ : state) {
    std::memcpy(target.data(), source.data(), source.size());
    benchmark::DoNotOptimize(target.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * source.size()));
}

// A copy into a fresh allocation, as the serialiser must make one per report.
void copy_fresh(benchmark::State& state) {
  const std::string source(report_size(), 'x');
  for (auto _ : state) {
    std::string target = source;
    benchmark::DoNotOptimize(target.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * source.size()));
}

BENCHMARK(serialize)->Unit(benchmark::kMillisecond);
BENCHMARK(copy_warm)->Unit(benchmark::kMillisecond);
BENCHMARK(copy_fresh)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
