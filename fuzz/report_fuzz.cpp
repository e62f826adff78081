// serialize_report over a scan result decoded from the fuzz bytes. Always: the
// "qvdev1" line shape, no control bytes but the line feeds, one "[device]" line
// per device. For well-formed input texts: valid UTF-8, and exactly the lines a
// reference writer gives, so no byte that should be kept is lost.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "report.h"

namespace {

using qv::fuzz::require;

constexpr std::array<std::string_view, 16> kKeys = {
    "host",       "os",          "arch",
    "server",     "instance_id", "description",
    "class_guid", "hwid",        "cid",
    "driver_ver", "driver_desc", "driver_provider",
    "driver_inf", "driver_ext",  "driver_matching_id"};

void check_shape(const qv::ScanResult& result, std::string_view report) {
  require(report.starts_with("qvdev1\n"), "report: first line is not qvdev1");
  require(report.ends_with('\n'), "report: last line has no line feed");
  for (const char c : report) {
    require(static_cast<unsigned char>(c) >= 0x20 || c == '\n', "report: control byte");
    require(c != '\x7F', "report: DEL byte");
  }
  std::size_t sections = 0;
  std::string_view rest = report.substr(7);
  while (!rest.empty()) {
    const std::string_view line = rest.substr(0, rest.find('\n'));
    rest.remove_prefix(line.size() + 1);
    if (line == "[device]") {
      ++sections;
      continue;
    }
    const auto eq = line.find('=');
    require(eq != std::string_view::npos, "report: line without '='");
    require(std::ranges::find(kKeys, line.substr(0, eq)) != kKeys.end(), "report: unknown key");
  }
  require(sections == result.devices.size(), "report: [device] count differs from devices");
}

// Every control character, C0 and C1, written as one space.
void add(std::string& out, std::string_view key, std::string_view value) {
  out.append(key).push_back('=');
  while (const auto c = qv::fuzz::decode_utf8(value)) {
    const bool control = c->value < 0x20 || (c->value >= 0x7F && c->value <= 0x9F);
    out.append(control ? " " : value.substr(0, c->length));
    value.remove_prefix(c->length);
  }
  out.push_back('\n');
}

void add_present(std::string& out, std::string_view key, const std::optional<std::string>& value) {
  if (value) add(out, key, *value);
}

std::string reference_report(const qv::ScanResult& result) {
  std::string out = "qvdev1\n";
  add(out, "host", result.host);
  add(out, "os", result.os);
  add(out, "arch", result.arch);
  add(out, "server", result.server ? "1" : "0");
  for (const auto& device : result.devices) {
    out.append("[device]\n");
    add(out, "instance_id", device.instance_id);
    add(out, "description", device.description);
    add_present(out, "class_guid", device.class_guid);
    for (const auto& id : device.hardware_ids) add(out, "hwid", id);
    for (const auto& id : device.compatible_ids) add(out, "cid", id);
    if (const auto& driver = device.driver) {
      add(out, "driver_ver", qv::driver_identity_text(driver->identity));
      add(out, "driver_desc", driver->description);
      add_present(out, "driver_provider", driver->provider);
      add_present(out, "driver_inf", driver->inf_path);
      add_present(out, "driver_ext", driver->inf_section_ext);
      add_present(out, "driver_matching_id", driver->matching_device_id);
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider provider(data, size);
  const qv::ScanResult result = qv::fuzz::fuzzed_scan_result(provider);
  const std::string report = qv::serialize_report(result);
  check_shape(result, report);
  if (qv::fuzz::texts_valid_utf8(result)) {
    require(qv::fuzz::valid_utf8(report), "report: not UTF-8 though every text is");
    require(report == reference_report(result), "report differs from reference");
  }
  return 0;
}
