#include "console.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "decimal.h"
#include "text.h"

namespace qv {
namespace {

using namespace std::string_view_literals;

constexpr std::size_t kDriverColumn = 30;
constexpr std::size_t kDescriptionLimit = 60;
// The most bytes a shown description takes: 59 four-byte characters and the ellipsis.
constexpr std::size_t kDescriptionBytes = (kDescriptionLimit - 1) * 4 + 3;
constexpr std::string_view kEllipsis = "\u2026";
constexpr std::string_view kNoDriver = "-- no driver --";

// Byte length of the character at `pos`; ASCII, the usual case, inline.
std::size_t char_length(std::string_view text, std::size_t pos) {
  return static_cast<unsigned char>(text[pos]) < 0x80 ? 1 : utf8_char_length(text, pos);
}

// Byte offset after the first `count` characters, or npos when the text has
// no more than `count` characters.
std::size_t offset_after(std::string_view text, std::size_t count) {
  std::size_t pos = 0;
  for (std::size_t n = 0; n < count; ++n) {
    if (pos == text.size()) return std::string_view::npos;
    pos += char_length(text, pos);
  }
  return pos == text.size() ? std::string_view::npos : pos;
}

std::size_t char_count(std::string_view text) {
  std::size_t count = 0;
  for (std::size_t pos = 0; pos < text.size(); pos += char_length(text, pos)) ++count;
  return count;
}

void append_description(std::string& out, std::string_view description) {
  // Longer than the limit when a character follows the first 60. No character
  // is shorter than a byte, so a text of no more bytes than that is not walked.
  if (description.size() <= kDescriptionLimit ||
      offset_after(description, kDescriptionLimit) == std::string_view::npos) {
    out += description;
    return;
  }
  out += description.substr(0, offset_after(description, kDescriptionLimit - 1));
  out += kEllipsis;
}

void append_listing_line(std::string& out, const DeviceRecord& device) {
  out += "  "sv;
  const std::size_t start = out.size();
  if (device.driver) {
    append_driver_identity_text(out, device.driver->identity);
  } else {
    out += kNoDriver;
  }
  const std::size_t width = char_count(std::string_view(out).substr(start));
  // A wider text is printed whole and pushes the description to the right.
  if (width < kDriverColumn) out.append(kDriverColumn - width, ' ');
  out += "  "sv;
  append_description(out, device.description);
  out += '\n';
}

}  // namespace

std::string summary_text(const ScanResult& result) {
  std::uint64_t without_driver = 0;
  for (const DeviceRecord& device : result.devices) {
    if (!device.driver) ++without_driver;
  }
  std::string text;
  text += "host      "sv;
  text += result.host;
  text += "\nos        "sv;
  text += result.os;
  text += "\ndevices   "sv;
  append_decimal(text, result.devices.size());
  text += "\nno driver "sv;
  append_decimal(text, without_driver);
  text += '\n';
  return text;
}

std::string listing_text(const ScanResult& result) {
  // Room for the lines of a usual list, reserved once.
  std::size_t size = 1;
  for (const DeviceRecord& device : result.devices) {
    size += 2 + kDriverColumn + 2 + std::min(device.description.size(), kDescriptionBytes) + 1;
  }
  std::string text;
  text.reserve(size);
  text += '\n';
  for (const DeviceRecord& device : result.devices) append_listing_line(text, device);
  return text;
}

}  // namespace qv
