// The whole pipeline on the stand-in machine, 10,000 devices: scan, then the
// listing text or the report buffer. Each benchmark reports its time and the
// bytes it allocates per device (this program counts its allocations).
// "platform_floor" makes the platform calls of one scan and nothing else, as
// e2e/floor_win.cpp does under Wine, so a mode minus the floor is our own cost:
// decoding, records and output, without the stand-in's. Other work on the
// machine only adds time; read the least of several runs:
//   qv_pipeline_bench --benchmark_repetitions=8 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "allocation_count.h"
#include "child_process.h"
#include "console.h"
#include "fake_machine.h"
#include "report.h"
#include "scan.h"
#include "win_api.h"

namespace {

using qv::fake::multi_sz;
using qv::fake::sz;

constexpr std::size_t kDevices = 10'000;
const std::u16string kClassRoot = u"SYSTEM\\CurrentControlSet\\Control\\Class\\";
const std::u16string kProductOptions = u"SYSTEM\\CurrentControlSet\\Control\\ProductOptions";

std::u16string widen(const std::string& ascii) { return {ascii.begin(), ascii.end()}; }

template <typename... Args>
std::string format(const char* pattern, Args... args) {
  char buffer[160];
  const int length = std::snprintf(buffer, sizeof buffer, pattern, args...);
  return std::string(buffer, static_cast<std::size_t>(length));
}

// Words of device names, cut to a length of 20 to 80 characters.
std::string description(std::mt19937& random) {
  static const char* const words[] = {
      "Intel(R)", "Ethernet", "Controller", "USB",      "Root",      "Hub",    "(USB 3.0)",
      "PCI",      "Express",  "Port",       "Standard", "SATA",      "AHCI",   "Audio",
      "Device",   "High",     "Definition", "Generic",  "Bluetooth", "Adapter"};
  const std::size_t length = std::uniform_int_distribution<std::size_t>(20, 80)(random);
  std::string text;
  while (text.size() < length) {
    if (!text.empty()) text += ' ';
    text += words[std::uniform_int_distribution<std::size_t>(0, std::size(words) - 1)(random)];
  }
  text.resize(length);
  return text;
}

// 2 to 6 ids, each a shorter form of the one before, as Windows lists them.
std::vector<std::u16string> id_list(std::mt19937& random, const std::string& first) {
  const std::size_t count = std::uniform_int_distribution<std::size_t>(2, 6)(random);
  std::vector<std::u16string> ids;
  std::string id = first;
  for (std::size_t i = 0; i < count; ++i) {
    ids.push_back(widen(id));
    if (const auto cut = id.rfind('&'); cut != std::string::npos)
      id.resize(cut);
    else
      id += "_ALT";
  }
  return ids;
}

// Every device has hardware and compatible ids, a class and a description; one
// in three a friendly name; nine in ten a driver key with all seven values.
qv::fake::Machine sample_machine() {
  std::mt19937 random(20240601);
  auto number = [&](unsigned limit) {
    return std::uniform_int_distribution<unsigned>(0, limit - 1)(random);
  };
  qv::fake::Machine m;
  m.environment = {{u"COMPUTERNAME", u"DESKTOP-7Q2M4KD"}, {u"PROCESSOR_ARCHITECTURE", u"AMD64"}};
  m.child_output = "\r\nMicrosoft Windows [Version 10.0.19045.3803]\r\n";
  m.registry[kProductOptions].values[u"ProductType"] = sz(u"WinNT");
  m.devices.reserve(kDevices);
  for (std::size_t i = 0; i < kDevices; ++i) {
    const unsigned vendor = number(0x10000);
    const unsigned device = number(0x10000);
    const std::string hardware = format("PCI\\VEN_%04X&DEV_%04X&SUBSYS_%08X&REV_%02X", vendor,
                                        device, number(1u << 31), number(256));
    const std::string instance =
        format("%s\\4&%08X&0&%04zX", hardware.c_str(), number(1u << 31), i);
    qv::fake::Device d{.instance_id = widen(instance)};
    d.properties[SPDRP_HARDWAREID] = multi_sz(id_list(random, hardware));
    d.properties[SPDRP_COMPATIBLEIDS] =
        multi_sz(id_list(random, format("PCI\\VEN_%04X&CC_%06X&REV_01", vendor, number(1u << 24))));
    const std::string name = description(random);
    if (i % 3 == 0) d.properties[SPDRP_FRIENDLYNAME] = sz(widen(name));
    d.properties[SPDRP_DEVICEDESC] = sz(widen(name));
    d.properties[SPDRP_CLASSGUID] = sz(u"{4d36e972-e325-11ce-bfc1-08002be10318}");
    if (i % 10 != 0) {
      const std::u16string key = widen(format("{4d36e972-e325-11ce-bfc1-08002be10318}\\%04zu", i));
      d.properties[SPDRP_DRIVER] = sz(key);
      m.registry[kClassRoot + key].values = {
          {u"DriverDate",
           sz(widen(format("%u-%u-20%02u", 1 + number(12), 1 + number(28), number(24))))},
          {u"DriverVersion",
           sz(widen(format("%u.%u.%u.%u", number(31), number(10), number(30000), number(5000))))},
          {u"DriverDesc", sz(widen(name))},
          {u"ProviderName", sz(u"Intel Corporation")},
          {u"InfPath", sz(widen(format("oem%u.inf", number(200))))},
          {u"InfSectionExt", sz(u".NTamd64")},
          {u"MatchingDeviceId", sz(widen(hardware.substr(0, 21)))}};
    }
    m.devices.push_back(std::move(d));
  }
  return m;
}

void set_up() {
  static bool ready = false;
  if (ready) return;
  qv::fake::machine() = sample_machine();
  qv::fake::machine().record_calls = false;
  ready = true;
}

// The floor's platform calls, with one reused buffer and no decoding.
BYTE g_buffer[1 << 16];

bool holds_text(DWORD size) { return size > 2 && (g_buffer[0] != 0 || g_buffer[1] != 0); }

void read_variable(const char16_t* name) {
  const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
  if (size != 0) GetEnvironmentVariableW(name, reinterpret_cast<WCHAR*>(g_buffer), size);
}

DWORD read_value(HKEY key, const char16_t* name) {
  DWORD size = 0;
  if (RegQueryValueExW(key, name, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS || size == 0) {
    return 0;
  }
  RegQueryValueExW(key, name, nullptr, nullptr, g_buffer, &size);
  return size;
}

DWORD read_property(HDEVINFO set, SP_DEVINFO_DATA* data, DWORD property) {
  DWORD size = 0;
  SetupDiGetDeviceRegistryPropertyW(set, data, property, nullptr, nullptr, 0, &size);
  if (size == 0) return 0;
  SetupDiGetDeviceRegistryPropertyW(set, data, property, nullptr, g_buffer, size, &size);
  return size;
}

void read_key(const std::u16string& path, std::initializer_list<const char16_t*> values) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  for (const char16_t* value : values) read_value(key, value);
  RegCloseKey(key);
}

void floor_scan() {
  read_variable(u"COMPUTERNAME");
  const UINT length = GetSystemDirectoryW(nullptr, 0);
  GetSystemDirectoryW(reinterpret_cast<WCHAR*>(g_buffer), length);
  (void)qv::capture_output(u"C:\\Windows\\system32\\cmd.exe", u"cmd /c ver");
  read_variable(u"PROCESSOR_ARCHITEW6432");
  read_variable(u"PROCESSOR_ARCHITECTURE");
  read_key(kProductOptions, {u"ProductType"});
  const HDEVINFO set =
      SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
  SP_DEVINFO_DATA data{};
  static std::u16string path;
  for (DWORD index = 0;; ++index) {
    data = SP_DEVINFO_DATA{};
    data.cbSize = sizeof data;
    if (!SetupDiEnumDeviceInfo(set, index, &data)) break;
    DWORD size = 0;
    SetupDiGetDeviceInstanceIdW(set, &data, nullptr, 0, &size);
    SetupDiGetDeviceInstanceIdW(set, &data, reinterpret_cast<WCHAR*>(g_buffer), size + 1, &size);
    read_property(set, &data, SPDRP_HARDWAREID);
    read_property(set, &data, SPDRP_COMPATIBLEIDS);
    if (!holds_text(read_property(set, &data, SPDRP_FRIENDLYNAME))) {
      read_property(set, &data, SPDRP_DEVICEDESC);
    }
    read_property(set, &data, SPDRP_CLASSGUID);
    if (!holds_text(read_property(set, &data, SPDRP_DRIVER))) continue;
    path.assign(kClassRoot).append(reinterpret_cast<const char16_t*>(g_buffer));
    read_key(path, {u"DriverDate", u"DriverVersion", u"DriverDesc", u"ProviderName", u"InfPath",
                    u"InfSectionExt", u"MatchingDeviceId"});
  }
  SetupDiDestroyDeviceInfoList(set);
}

struct Allocated {
  qv::AllocationCount count = qv::allocations_so_far();
};

void report_per_device(benchmark::State& state, Allocated before) {
  const auto per = static_cast<double>(state.iterations()) * kDevices;
  state.counters["time/device"] = benchmark::Counter(
      kDevices, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  const qv::AllocationCount spent = qv::allocations_so_far() - before.count;
  state.counters["bytes/device"] = static_cast<double>(spent.bytes) / per;
  state.counters["allocs/device"] = static_cast<double>(spent.allocations) / per;
}

void platform_floor(benchmark::State& state) {
  set_up();
  const Allocated before;
  for (auto _ : state) {
    floor_scan();
  }
  report_per_device(state, before);
}

void scan_only(benchmark::State& state) {
  set_up();
  const Allocated before;
  for (auto _ : state) {
    const auto result = qv::scan();
    benchmark::DoNotOptimize(result);
  }
  report_per_device(state, before);
}

void scan_and_listing(benchmark::State& state) {
  set_up();
  const Allocated before;
  for (auto _ : state) {
    const std::string text = qv::listing_text(qv::scan().value());
    benchmark::DoNotOptimize(text.data());
  }
  report_per_device(state, before);
}

void scan_and_report(benchmark::State& state) {
  set_up();
  const Allocated before;
  for (auto _ : state) {
    const std::string report = qv::serialize_report(qv::scan().value());
    benchmark::DoNotOptimize(report.data());
  }
  report_per_device(state, before);
}

// The output alone, from one scan's result.
const qv::ScanResult& scanned() {
  static const qv::ScanResult result = [] {
    set_up();
    return qv::scan().value();
  }();
  return result;
}

void listing_only(benchmark::State& state) {
  const qv::ScanResult& result = scanned();
  const Allocated before;
  for (auto _ : state) {
    const std::string text = qv::listing_text(result);
    benchmark::DoNotOptimize(text.data());
  }
  report_per_device(state, before);
}

void report_only(benchmark::State& state) {
  const qv::ScanResult& result = scanned();
  const Allocated before;
  for (auto _ : state) {
    const std::string report = qv::serialize_report(result);
    benchmark::DoNotOptimize(report.data());
  }
  report_per_device(state, before);
}

double least(const std::vector<double>& runs) { return *std::ranges::min_element(runs); }

BENCHMARK(platform_floor)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", least);
BENCHMARK(scan_only)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", least);
BENCHMARK(scan_and_listing)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", least);
BENCHMARK(scan_and_report)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", least);
BENCHMARK(listing_only)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", least);
BENCHMARK(report_only)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", least);

}  // namespace

BENCHMARK_MAIN();
