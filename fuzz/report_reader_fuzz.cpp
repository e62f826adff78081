// read_report two ways. The fuzz bytes as a report: never a crash or a hang;
// an error names a line of the input and says what is wrong in a sentence;
// records read are written back as the same bytes, apart from what the reader
// forgives (a byte-order mark, CR before LF). And the fuzz bytes as a scan
// result: with its control characters replaced, writing it (then adding a
// byte-order mark or CR LF line ends, as the first byte says) and reading it
// back gives the same result when its texts are valid UTF-8, and is refused
// when they are not; a report without its final line feed is refused as cut
// short.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "report.h"
#include "report_reader.h"

namespace {

using qv::fuzz::require;

// The text the writer gives for what the reader took from `bytes`.
std::string as_written(std::string_view bytes) {
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  std::string out;
  while (!bytes.empty()) {
    const std::size_t end = std::min(bytes.find('\n'), bytes.size());
    std::string_view line = bytes.substr(0, end);
    if (line.ends_with('\r')) line.remove_suffix(1);
    out.append(line).push_back('\n');
    bytes.remove_prefix(std::min(end + 1, bytes.size()));
  }
  return out;
}

void check_any_bytes(std::string_view bytes) {
  const auto read = qv::read_report(bytes);
  if (!read) {
    const qv::ReportError& error = read.error();
    const std::size_t lines = std::count(bytes.begin(), bytes.end(), '\n') + 1;
    require(error.line >= 1 && error.line <= lines, "reader: error line outside the input");
    require(error.message.size() > 2 && error.message.front() >= 'A' &&
                error.message.front() <= 'Z' && error.message.back() == '.',
            "reader: error message is not a sentence");
    require(error.message.find('\n') == std::string::npos, "reader: error message has a line feed");
    return;
  }
  require(qv::serialize_report(*read) == as_written(bytes),
          "reader: took what the writer never writes");
}

// The writer's control characters, each replaced by '?' (0xC2 alone for C1).
void clean(std::string& text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0u;
    if (byte < 0x20 || byte == 0x7F || (byte == 0xC2 && next >= 0x80 && next <= 0x9F)) {
      text[i] = '?';
    }
  }
}

void clean(std::optional<std::string>& text) {
  if (text) clean(*text);
}

void clean(qv::ScanResult& result) {
  clean(result.host);
  clean(result.os);
  clean(result.arch);
  for (std::size_t i = 0; i < result.devices.size(); ++i) {
    qv::DeviceRecord& device = result.devices[i];
    clean(device.instance_id);
    clean(device.description);
    clean(device.class_guid);
    for (auto& id : device.hardware_ids) clean(id);
    for (auto& id : device.compatible_ids) clean(id);
    if (auto& driver = device.driver) {
      clean(driver->description);
      clean(driver->provider);
      clean(driver->inf_path);
      clean(driver->inf_section_ext);
      clean(driver->matching_device_id);
    }
  }
}

std::string edited(const std::string& report, unsigned how) {
  std::string out = how & 1 ? "\xEF\xBB\xBF" : "";
  for (const char c : report) {
    if (c == '\n' && (how & 2)) out += '\r';
    out += c;
  }
  if (how & 4) out.pop_back();
  return out;
}

void check_round_trip(FuzzedDataProvider& data) {
  const auto how = data.ConsumeIntegral<std::uint8_t>();
  qv::ScanResult result = qv::fuzz::fuzzed_scan_result(data);
  clean(result);
  const std::string report = qv::serialize_report(result);
  const std::string text = edited(report, how);
  const auto read = qv::read_report(text);
  if (how & 4) {
    const std::size_t lines = std::count(report.begin(), report.end(), '\n');
    require(!read && read.error().line <= lines, "round trip: a report cut short was taken");
    return;
  }
  if (!qv::fuzz::texts_valid_utf8(result)) {
    require(!read && read.error().message == "The line is not valid UTF-8.",
            "round trip: ill-formed UTF-8 was taken");
    return;
  }
  require(read.has_value(), "round trip: the written report does not read");
  require(*read == result, "round trip: read back differs");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  check_any_bytes(std::string_view(reinterpret_cast<const char*>(data), size));
  FuzzedDataProvider provider(data, size);
  check_round_trip(provider);
  return 0;
}
