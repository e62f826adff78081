#include "report.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <string_view>

namespace qv {
namespace {

using namespace std::string_view_literals;

// What a byte of a value becomes. U+0000..U+001F and U+007F are one byte each;
// U+0080..U+009F are C2 80..C2 9F, so 0xC2 is decided with the byte after it.
// 0xC2 is never a continuation byte, so this walk finds the same characters as
// a decoder would, and every other byte, well-formed or not, is copied as it is.
enum class Byte : unsigned char { copied, control, c2 };

constexpr std::array<Byte, 256> kBytes = [] {
  std::array<Byte, 256> table{};
  for (std::size_t byte = 0; byte < 0x20; ++byte) table[byte] = Byte::control;
  table[0x7F] = Byte::control;
  table[0xC2] = Byte::c2;
  return table;
}();

char* put(char* out, std::string_view bytes) {
  std::memcpy(out, bytes.data(), bytes.size());
  return out + bytes.size();
}

// The second byte of U+0080..U+009F after 0xC2.
bool is_c1_second(char byte) {
  const auto b = static_cast<unsigned char>(byte);
  return b >= 0x80 && b <= 0x9F;
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
        if (i + 1 < value.size() && is_c1_second(value[i + 1])) {
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

// The report in file order: the header, then one section per device, each line
// "key=value". An absent value has no line; an empty one has "key=". `Lines`
// either measures the lines or writes them.
template <typename Lines>
void report_lines(Lines& lines, const ScanResult& result) {
  lines.text("qvdev1\n");
  lines.value("host=", result.host);
  lines.value("os=", result.os);
  lines.value("arch=", result.arch);
  lines.value("server=", result.server ? "1"sv : "0"sv);
  for (const DeviceRecord& device : result.devices) {
    lines.text("[device]\n");
    lines.value("instance_id=", device.instance_id);
    lines.value("description=", device.description);
    if (device.class_guid) lines.value("class_guid=", *device.class_guid);
    for (const std::string& id : device.hardware_ids) lines.value("hwid=", id);
    for (const std::string& id : device.compatible_ids) lines.value("cid=", id);
    if (const auto& driver = device.driver) {
      lines.identity("driver_ver=", driver->identity);
      lines.value("driver_desc=", driver->description);
      if (driver->provider) lines.value("driver_provider=", *driver->provider);
      if (driver->inf_path) lines.value("driver_inf=", *driver->inf_path);
      if (driver->inf_section_ext) lines.value("driver_ext=", *driver->inf_section_ext);
      if (driver->matching_device_id) {
        lines.value("driver_matching_id=", *driver->matching_device_id);
      }
    }
  }
}

// The most the lines can take: a value never grows, and an identity counts as
// long as the longest.
struct Measure {
  std::size_t size = 0;
  void text(std::string_view line) { size += line.size(); }
  void value(std::string_view key, std::string_view value) {
    size += key.size() + value.size() + 1;
  }
  void identity(std::string_view key, const DriverIdentity&) {
    size += key.size() + kDriverIdentityTextMax + 1;
  }
};

struct Write {
  char* out;
  void text(std::string_view line) { out = put(out, line); }
  void value(std::string_view key, std::string_view value) {
    out = put_value(put(out, key), value);
    *out++ = '\n';
  }
  void identity(std::string_view key, const DriverIdentity& identity) {
    out = put_driver_identity_text(put(out, key), identity);
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
