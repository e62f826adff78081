// The UTF-16 converters over arbitrary units (the input read as little-endian
// pairs), checked against a reference decoder, the repair of unpaired
// surrogates against a round trip through UTF-8, and the UTF-8 side
// (validation, to_wide_nul, split_white_space) over the raw input bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "text.h"

namespace {

using qv::fuzz::require;

bool high(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool low(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// Lenient decoding: a pair is one character, any other surrogate is U+FFFD and
// the unit after an unpaired high surrogate is read on its own.
std::string reference_text(std::u16string_view units) {
  std::string out;
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char16_t u = units[i];
    if (high(u) && i + 1 < units.size() && low(units[i + 1])) {
      qv::fuzz::append_utf8(out, 0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00));
      ++i;
    } else {
      qv::fuzz::append_utf8(out, high(u) || low(u) ? 0xFFFD : u);
    }
  }
  return out;
}

std::vector<std::string> reference_split(std::u16string_view units) {
  std::vector<std::string> list;
  for (std::size_t end; (end = units.find(u'\0')) != std::u16string_view::npos && end > 0;) {
    list.push_back(reference_text(units.substr(0, end)));
    units.remove_prefix(end + 1);
  }
  return list;
}

bool well_formed(std::u16string_view units) {
  for (std::size_t i = 0; i < units.size(); ++i) {
    if (high(units[i]) && i + 1 < units.size() && low(units[i + 1])) {
      ++i;
    } else if (high(units[i]) || low(units[i])) {
      return false;
    }
  }
  return true;
}

void check_units(std::u16string_view units) {
  const std::string text = qv::wide_to_text(units);
  require(qv::fuzz::valid_utf8(text), "wide_to_text: output is not UTF-8");
  require(text == reference_text(units), "wide_to_text differs from reference");

  const std::string until = qv::wide_until_nul(units);
  require(qv::fuzz::valid_utf8(until), "wide_until_nul: output is not UTF-8");
  require(until == reference_text(units.substr(0, units.find(u'\0'))),
          "wide_until_nul differs from reference");

  const auto list = qv::split_multi_string(units);
  for (const auto& entry : list) {
    require(qv::fuzz::valid_utf8(entry), "split_multi_string: entry is not UTF-8");
  }
  require(list == reference_split(units), "split_multi_string differs from reference");

  const bool whole = well_formed(units);
  const auto strict = qv::utf16_to_utf8_strict(units);
  require(strict.has_value() == whole, "utf16_to_utf8_strict: wrong verdict");
  require(!strict || *strict == text, "utf16_to_utf8_strict differs from wide_to_text");
  if (whole) {
    std::u16string expected(units);
    expected.push_back(u'\0');
    require(qv::to_wide_nul(text) == expected, "to_wide_nul(wide_to_text(u)) != u + NUL");
  }
  std::u16string repaired = u"x";
  qv::append_wide_repaired(repaired, units);
  repaired.push_back(u'\0');
  require(repaired.substr(1) == qv::to_wide_nul(text),
          "append_wide_repaired differs from a round trip through UTF-8");
}

bool white_space(char32_t c) {
  constexpr char32_t kSingles[] = {0x20,   0x85,   0xA0,   0x1680, 0x2028,
                                   0x2029, 0x202F, 0x205F, 0x3000};
  return (c >= 0x09 && c <= 0x0D) || (c >= 0x2000 && c <= 0x200A) ||
         std::ranges::find(kSingles, c) != std::end(kSingles);
}

// Words between runs of white space; an ill-formed byte belongs to a word.
std::vector<std::string_view> reference_words(std::string_view text) {
  std::vector<std::string_view> words;
  std::size_t start = 0;
  for (std::size_t pos = 0; pos < text.size();) {
    const auto c = qv::fuzz::decode_utf8(text.substr(pos));
    const std::size_t next = pos + (c ? c->length : 1);
    if (c && white_space(c->value)) {
      if (pos > start) words.push_back(text.substr(start, pos - start));
      start = next;
    }
    pos = next;
  }
  if (text.size() > start) words.push_back(text.substr(start));
  return words;
}

void check_bytes(std::string_view bytes) {
  require(qv::split_white_space(bytes) == reference_words(bytes),
          "split_white_space differs from reference");
  const bool valid = qv::fuzz::valid_utf8(bytes);
  require(qv::is_valid_utf8(bytes) == valid, "is_valid_utf8 differs from reference");
  const std::u16string wide = qv::to_wide_nul(bytes);
  require(!wide.empty() && wide.back() == u'\0', "to_wide_nul: no final zero unit");
  const std::u16string_view body = std::u16string_view(wide).substr(0, wide.size() - 1);
  require(well_formed(body), "to_wide_nul: unpaired surrogate in output");
  require(!valid || qv::wide_to_text(body) == bytes, "to_wide_nul loses UTF-8 text");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::u16string units(size / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
  }
  check_units(units);
  check_bytes(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
