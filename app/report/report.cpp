#include "report.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <string_view>

#include "report_format.h"

namespace qv {
namespace {

using namespace std::string_view_literals;

// What a byte of a value becomes. Control characters of one byte are decided
// alone; U+0080..U+009F start with 0xC2, which is decided with the byte after
// it. 0xC2 is never a continuation byte, so this walk finds the same characters
// as a decoder would, and every other byte is copied as it is.
enum class Byte : unsigned char { copied, control, c2 };

constexpr std::array<Byte, 256> kBytes = [] {
  std::array<Byte, 256> table{};
  for (std::size_t byte = 0; byte < table.size(); ++byte) {
    if (is_control_byte(static_cast<unsigned char>(byte))) table[byte] = Byte::control;
  }
  table[0xC2] = Byte::c2;
  return table;
}();

char* put(char* out, std::string_view bytes) {
  std::memcpy(out, bytes.data(), bytes.size());
  return out + bytes.size();
}

bool is_copied(char byte) { return kBytes[static_cast<unsigned char>(byte)] == Byte::copied; }

// Writes `value` with every control character as one space; never more bytes
// than the value has.
char* put_value(char* out, std::string_view value) {
  // Most values hold no control character and no 0xC2 at all: copied whole.
  if (std::ranges::all_of(value, is_copied)) return put(out, value);
  for (std::size_t i = 0; i < value.size(); ++i) {
    switch (kBytes[static_cast<unsigned char>(value[i])]) {
      case Byte::copied:
        *out++ = value[i];
        break;
      case Byte::control:
        *out++ = ' ';
        break;
      case Byte::c2:
        if (i + 1 < value.size() && is_c1_second_byte(static_cast<unsigned char>(value[i + 1]))) {
          *out++ = ' ';
          ++i;
        } else {
          *out++ = value[i];
        }
        break;
    }
  }
  return out;
}

// The lines of one section after its "[device]" line, in the format's order of
// keys. An absent value has no line; an empty one has "key=".
template <typename Lines>
void device_lines(Lines& lines, const DeviceRecord& device) {
  const auto optional = [&](std::string_view key, const std::optional<std::string>& value) {
    if (value) lines.value(key, *value);
  };
  const auto& driver = device.driver;
  for (const SectionKey& key : kSectionKeys) {
    if (key.driver && !driver) break;  // a driver's keys come last
    switch (key.key) {
      case Key::instance_id:
        lines.value(key.name, device.instance_id);
        break;
      case Key::description:
        lines.value(key.name, device.description);
        break;
      case Key::class_guid:
        optional(key.name, device.class_guid);
        break;
      case Key::hwid:
        for (const std::string& id : device.hardware_ids) lines.value(key.name, id);
        break;
      case Key::cid:
        for (const std::string& id : device.compatible_ids) lines.value(key.name, id);
        break;
      case Key::driver_ver:
        lines.identity(key.name, driver->identity);
        break;
      case Key::driver_desc:
        lines.value(key.name, driver->description);
        break;
      case Key::driver_provider:
        optional(key.name, driver->provider);
        break;
      case Key::driver_inf:
        optional(key.name, driver->inf_path);
        break;
      case Key::driver_ext:
        optional(key.name, driver->inf_section_ext);
        break;
      case Key::driver_matching_id:
        optional(key.name, driver->matching_device_id);
        break;
    }
  }
}

// The report in file order: the tag, the header, then one section per device.
// `Lines` either measures the lines or writes them.
template <typename Lines>
void report_lines(Lines& lines, const ScanResult& result) {
  lines.line(kFormatTag);
  const std::array<std::string_view, kHeaderKeys.size()> header = {
      result.host, result.os, result.arch, result.server ? "1"sv : "0"sv};
  for (std::size_t i = 0; i < header.size(); ++i) lines.value(kHeaderKeys[i], header[i]);
  for (const DeviceRecord& device : result.devices) {
    lines.line(kSectionLine);
    device_lines(lines, device);
  }
}

// The most the lines can take: a value never grows, and an identity counts as
// long as the longest.
struct Measure {
  std::size_t size = 0;
  void line(std::string_view text) { size += text.size() + 1; }
  void value(std::string_view key, std::string_view value) {
    size += key.size() + 1 + value.size() + 1;
  }
  void identity(std::string_view key, const DriverIdentity&) {
    size += key.size() + 1 + kDriverIdentityTextMax + 1;
  }
};

struct Write {
  char* out;
  void line(std::string_view text) {
    out = put(out, text);
    *out++ = '\n';
  }
  void value(std::string_view key, std::string_view value) {
    out = put(out, key);
    *out++ = '=';
    out = put_value(out, value);
    *out++ = '\n';
  }
  void identity(std::string_view key, const DriverIdentity& identity) {
    out = put(out, key);
    *out++ = '=';
    out = put_driver_identity_text(out, identity);
    *out++ = '\n';
  }
};

}  // namespace

std::string serialize_report(const ScanResult& result) {
  Measure measure;
  report_lines(measure, result);
  std::string report;
  report.resize_and_overwrite(measure.size, [&](char* data, std::size_t) {
    Write write{data};
    report_lines(write, result);
    return static_cast<std::size_t>(write.out - data);
  });
  return report;
}

}  // namespace qv
