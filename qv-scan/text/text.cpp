#include "text.h"

#include <cstdint>
#include <utility>

namespace qv {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool is_high_surrogate(char32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool is_low_surrogate(char32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }
bool is_surrogate(char32_t u) { return u >= 0xD800 && u <= 0xDFFF; }

std::size_t utf8_length(char32_t c) { return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4; }

char* put_utf8(char* out, char32_t c) {
  if (c < 0x80) {
    *out++ = static_cast<char>(c);
  } else if (c < 0x800) {
    *out++ = static_cast<char>(0xC0 | (c >> 6));
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *out++ = static_cast<char>(0xE0 | (c >> 12));
    *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
  } else {
    *out++ = static_cast<char>(0xF0 | (c >> 18));
    *out++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
  }
  return out;
}

void append_utf8(std::string& out, char32_t c) {
  char bytes[4];
  out.append(bytes, put_utf8(bytes, c));
}

// Decodes one well-formed UTF-8 sequence at `pos`; absent for an ill-formed one
// (overlong forms, surrogates and values above U+10FFFF are ill-formed).
std::optional<char32_t> decode_utf8(std::string_view s, std::size_t& pos) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char lead = byte(pos);
  if (lead < 0x80) {
    ++pos;
    return lead;
  }
  std::size_t length = 0;
  char32_t c = 0;
  char32_t minimum = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, c = lead & 0x1F, minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, c = lead & 0x0F, minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, c = lead & 0x07, minimum = 0x10000;
  } else {
    return std::nullopt;
  }
  if (s.size() - pos < length) return std::nullopt;
  for (std::size_t i = 1; i < length; ++i) {
    const unsigned char b = byte(pos + i);
    if ((b & 0xC0) != 0x80) return std::nullopt;
    c = (c << 6) | (b & 0x3F);
  }
  if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
  pos += length;
  return c;
}

// Returns U+FFFD for an unpaired surrogate and advances past what it consumed.
char32_t decode_utf16(std::u16string_view units, std::size_t& pos) {
  const char32_t u = units[pos++];
  if (is_high_surrogate(u)) {
    if (pos < units.size() && is_low_surrogate(units[pos])) {
      const char32_t low = units[pos++];
      return 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
    }
    return kReplacement;
  }
  return is_low_surrogate(u) ? kReplacement : u;
}

// The piece that starts `units`, which then moves past it and its zero unit;
// absent at an empty piece or where no zero unit ends one.
std::optional<std::u16string_view> take_piece(std::u16string_view& units) {
  const std::size_t end = units.find(u'\0');
  if (end == std::u16string_view::npos || end == 0) return std::nullopt;
  const std::u16string_view piece = units.substr(0, end);
  units.remove_prefix(end + 1);
  return piece;
}

// Most texts here are ASCII throughout, each unit its own byte: those are
// narrowed in one walk. Absent at the first other unit, for the decoder.
std::optional<std::string> narrow_ascii(std::u16string_view units) {
  std::string text(units.size(), '\0');
  for (std::size_t i = 0; i < units.size(); ++i) {
    if (units[i] >= 0x80) return std::nullopt;
    text[i] = static_cast<char>(units[i]);
  }
  return text;
}

bool is_white_space(char32_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
         c == 0x3000;
}

}  // namespace

std::u16string to_wide_nul(std::string_view text) {
  std::u16string out;
  // No byte gives more than one unit: only a 4-byte sequence gives two.
  out.resize_and_overwrite(text.size() + 1, [&](char16_t* data, std::size_t) {
    char16_t* end = data;
    std::size_t pos = 0;
    while (pos < text.size()) {
      if (static_cast<unsigned char>(text[pos]) < 0x80) {
        *end++ = static_cast<char16_t>(text[pos++]);
        continue;
      }
      const auto c = decode_utf8(text, pos);
      if (!c) {
        ++pos;  // one U+FFFD per bad byte keeps the rest in step
        *end++ = static_cast<char16_t>(kReplacement);
      } else if (*c >= 0x10000) {
        *end++ = static_cast<char16_t>(0xD800 + ((*c - 0x10000) >> 10));
        *end++ = static_cast<char16_t>(0xDC00 + ((*c - 0x10000) & 0x3FF));
      } else {
        *end++ = static_cast<char16_t>(*c);
      }
    }
    *end++ = u'\0';
    return static_cast<std::size_t>(end - data);
  });
  return out;
}

std::string wide_to_text(std::u16string_view units) {
  if (auto text = narrow_ascii(units)) return std::move(*text);
  // Measured first, so that the text is allocated once at its size.
  std::size_t length = 0;
  for (std::size_t pos = 0; pos < units.size();) {
    if (units[pos] < 0x80) {
      ++length;
      ++pos;
    } else {
      length += utf8_length(decode_utf16(units, pos));
    }
  }
  std::string out;
  out.resize_and_overwrite(length, [&](char* data, std::size_t) {
    char* end = data;
    for (std::size_t pos = 0; pos < units.size();) {
      if (units[pos] < 0x80) {
        *end++ = static_cast<char>(units[pos++]);
      } else {
        end = put_utf8(end, decode_utf16(units, pos));
      }
    }
    return length;
  });
  return out;
}

std::string wide_until_nul(std::u16string_view units) {
  return wide_to_text(units.substr(0, units.find(u'\0')));
}

std::vector<std::string> split_multi_string(std::u16string_view units) {
  std::size_t count = 0;
  for (std::u16string_view rest = units; take_piece(rest);) ++count;
  std::vector<std::string> pieces;
  pieces.reserve(count);  // allocated once
  while (const auto piece = take_piece(units)) pieces.push_back(wide_to_text(*piece));
  return pieces;
}

void append_wide_repaired(std::u16string& out, std::u16string_view units) {
  const std::size_t start = out.size();
  out += units;
  for (std::size_t pos = start; pos < out.size();) {
    if (!is_surrogate(out[pos])) {
      ++pos;
      continue;
    }
    const std::size_t at = pos;
    // A pair decodes to one character beyond U+FFFF; an unpaired surrogate is
    // one unit and decodes to U+FFFD, which takes its place.
    if (decode_utf16(out, pos) == kReplacement) out[at] = static_cast<char16_t>(kReplacement);
  }
}

std::optional<std::string> utf16_to_utf8_strict(std::u16string_view units) {
  std::string out;
  out.reserve(units.size());
  std::size_t pos = 0;
  while (pos < units.size()) {
    const char16_t unit = units[pos];
    const char32_t c = decode_utf16(units, pos);
    if (c == kReplacement && unit != u'\uFFFD') return std::nullopt;
    append_utf8(out, c);
  }
  return out;
}

bool is_valid_utf8(std::string_view bytes) {
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    if (!decode_utf8(bytes, pos)) return false;
  }
  return true;
}

std::size_t utf8_char_length(std::string_view text, std::size_t pos) {
  const std::size_t start = pos;
  return decode_utf8(text, pos) ? pos - start : 1;
}

std::vector<std::string_view> split_white_space(std::string_view utf8) {
  std::vector<std::string_view> words;
  std::size_t start = 0;
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    const std::size_t at = pos;
    const auto c = decode_utf8(utf8, pos);
    if (!c) {
      ++pos;
    } else if (is_white_space(*c)) {
      if (at > start) words.push_back(utf8.substr(start, at - start));
      start = pos;
    }
  }
  if (pos > start) words.push_back(utf8.substr(start, pos - start));
  return words;
}

}  // namespace qv
