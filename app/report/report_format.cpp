#include "report_format.h"

namespace qv {
namespace {

bool in(unsigned char byte, unsigned char low, unsigned char high) {
  return byte >= low && byte <= high;
}

}  // namespace

std::size_t well_formed_length(std::string_view text, std::size_t pos) {
  const auto at = [&](std::size_t i) { return static_cast<unsigned char>(text[pos + i]); };
  const unsigned char lead = at(0);
  if (lead < 0x80) return 1;
  // The first continuation byte's range depends on the lead byte; the rest are 80..BF.
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (in(lead, 0xC2, 0xDF)) {
    length = 2;
  } else if (in(lead, 0xE0, 0xEF)) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (in(lead, 0xF0, 0xF4)) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() - pos < length || !in(at(1), low, high)) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (!in(at(i), 0x80, 0xBF)) return 0;
  }
  return length;
}

std::string one_line_text(std::string_view text) {
  std::string line;
  line.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    const auto byte = static_cast<unsigned char>(text[pos]);
    const std::size_t length = well_formed_length(text, pos);
    if (length == 0) {
      line += "\xEF\xBF\xBD";
      ++pos;
    } else if (is_control_byte(byte) ||
               (byte == 0xC2 && is_c1_second_byte(static_cast<unsigned char>(text[pos + 1])))) {
      line += ' ';
      pos += length;
    } else {
      line.append(text, pos, length);
      pos += length;
    }
  }
  return line;
}

}  // namespace qv
