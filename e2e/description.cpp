#include "description.h"

#include <array>
#include <charconv>
#include <optional>
#include <utility>

namespace qv::e2e {
namespace {

void append_unit(Bytes& out, std::uint32_t unit) {
  out.push_back(static_cast<std::uint8_t>(unit & 0xFF));
  out.push_back(static_cast<std::uint8_t>(unit >> 8));
}

// One UTF-8 character of the file; the description files are trusted, but a typo
// should stop the run rather than become a silent wrong byte.
std::optional<std::uint32_t> next_char(std::string_view text, std::size_t& at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  int extra = 0;
  std::uint32_t value = lead;
  if (lead >= 0xF0 && lead <= 0xF4) {
    extra = 3;
    value = lead & 0x07U;
  } else if (lead >= 0xE0 && lead < 0xF0) {
    extra = 2;
    value = lead & 0x0FU;
  } else if (lead >= 0xC2 && lead < 0xE0) {
    extra = 1;
    value = lead & 0x1FU;
  } else if (lead >= 0x80) {
    return std::nullopt;
  }
  if (at + static_cast<std::size_t>(extra) >= text.size()) return std::nullopt;
  for (int i = 1; i <= extra; ++i) {
    const unsigned char next = byte(at + static_cast<std::size_t>(i));
    if ((next & 0xC0U) != 0x80U) return std::nullopt;
    value = (value << 6) | (next & 0x3FU);
  }
  at += static_cast<std::size_t>(extra) + 1;
  return value;
}

std::optional<std::uint32_t> parse_hex(std::string_view digits, std::uint32_t max) {
  std::uint32_t value = 0;
  if (digits.empty()) return std::nullopt;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
  if (ec != std::errc{} || end != digits.data() + digits.size() || value > max) return std::nullopt;
  return value;
}

// The items of one "\<...>" group.
bool append_items(Bytes& out, std::string_view items) {
  while (!items.empty()) {
    const std::size_t space = items.find(' ');
    const std::string_view item = items.substr(0, space);
    items = space == std::string_view::npos ? std::string_view{} : items.substr(space + 1);
    if (item == "0") {
      append_unit(out, 0);
    } else if (item.starts_with('u')) {
      const auto unit = parse_hex(item.substr(1), 0xFFFF);
      if (!unit) return false;
      append_unit(out, *unit);
    } else if (item.starts_with('x') && item.size() <= 3) {
      const auto value = parse_hex(item.substr(1), 0xFF);
      if (!value) return false;
      out.push_back(static_cast<std::uint8_t>(*value));
    } else {
      return false;
    }
  }
  return true;
}

std::string_view take_word(std::string_view& rest) {
  const std::size_t space = rest.find(' ');
  const std::string_view word = rest.substr(0, space);
  rest = space == std::string_view::npos ? std::string_view{} : rest.substr(space + 1);
  return word;
}

std::optional<std::uint32_t> parse_decimal(std::string_view text) {
  std::uint32_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<std::uint32_t> parse_type(std::string_view name) {
  static constexpr std::array<std::pair<std::string_view, std::uint32_t>, 7> types{{
      {"none", 0},
      {"sz", 1},
      {"expand_sz", 2},
      {"binary", 3},
      {"dword", 4},
      {"multi_sz", 7},
      {"qword", 11},
  }};
  for (const auto& [type_name, value] : types) {
    if (name == type_name) return value;
  }
  return parse_decimal(name);
}

struct Shape {
  std::string_view name;
  Keyword keyword;
  int words;           // words before the data
  std::uint32_t code;  // fixed SPDRP code, when the keyword names one property
  bool data;           // whether the line carries data
};

constexpr std::array<Shape, 11> shapes{{
    {"class", Keyword::device_class, 1, 0, false},
    {"device", Keyword::device, 0, 0, true},
    {"hwid", Keyword::property, 0, 1, true},
    {"cid", Keyword::property, 0, 2, true},
    {"friendly", Keyword::property, 0, 12, true},
    {"desc", Keyword::property, 0, 0, true},
    {"prop", Keyword::property, 1, 0, true},
    {"driver-key", Keyword::driver_key, 0, 0, true},
    {"driver", Keyword::driver_value, 2, 0, true},
    {"enum", Keyword::enum_value, 2, 0, true},
    {"enum-delete", Keyword::enum_delete, 0, 0, true},
}};

std::expected<Command, std::string> parse_line(std::string_view line, int number) {
  std::string_view rest = line;
  const std::string_view keyword = take_word(rest);
  const Shape* shape = nullptr;
  for (const Shape& candidate : shapes) {
    if (candidate.name == keyword) shape = &candidate;
  }
  if (shape == nullptr) return std::unexpected("unknown keyword");
  Command command;
  command.line = number;
  command.keyword = shape->keyword;
  command.code = shape->code;
  std::vector<std::string_view> raw_words;
  for (int i = 0; i < shape->words; ++i) {
    if (rest.empty()) return std::unexpected("missing word");
    raw_words.push_back(take_word(rest));
  }
  if (!shape->data && !rest.empty()) return std::unexpected("unexpected data");
  for (const std::string_view word : raw_words) {
    auto decoded = decode_escaped(word);
    if (!decoded) return std::unexpected(decoded.error());
    command.words.push_back(std::move(*decoded));
  }
  if (keyword == "prop" || keyword == "driver" || keyword == "enum") {
    const std::string_view number_word = raw_words.back();
    const auto code = keyword == "prop" ? parse_decimal(number_word) : parse_type(number_word);
    if (!code) return std::unexpected("bad number or type");
    command.code = *code;
  }
  command.has_data = line.size() > keyword.size();
  auto data = decode_escaped(rest);
  if (!data) return std::unexpected(data.error());
  command.data = std::move(*data);
  return command;
}

}  // namespace

std::expected<Bytes, std::string> decode_escaped(std::string_view text) {
  Bytes out;
  std::size_t at = 0;
  while (at < text.size()) {
    if (text.substr(at).starts_with("\\<")) {
      const std::size_t close = text.find('>', at);
      if (close == std::string_view::npos) return std::unexpected("unclosed \\<");
      if (!append_items(out, text.substr(at + 2, close - at - 2))) {
        return std::unexpected("bad item in \\<...>");
      }
      at = close + 1;
      continue;
    }
    const auto ch = next_char(text, at);
    if (!ch || (*ch >= 0xD800 && *ch <= 0xDFFF) || *ch > 0x10FFFF) {
      return std::unexpected("invalid UTF-8");
    }
    if (*ch > 0xFFFF) {
      const std::uint32_t v = *ch - 0x10000;
      append_unit(out, 0xD800 + (v >> 10));
      append_unit(out, 0xDC00 + (v & 0x3FF));
    } else {
      append_unit(out, *ch);
    }
  }
  return out;
}

std::expected<std::vector<Command>, std::string> parse_description(std::string_view file) {
  std::vector<Command> commands;
  int number = 0;
  while (!file.empty()) {
    const std::size_t end = file.find('\n');
    std::string_view line = file.substr(0, end);
    file = end == std::string_view::npos ? std::string_view{} : file.substr(end + 1);
    ++number;
    if (line.empty() || line.starts_with('#')) continue;
    auto command = parse_line(line, number);
    if (!command) return std::unexpected("line " + std::to_string(number) + ": " + command.error());
    commands.push_back(std::move(*command));
  }
  return commands;
}

std::u16string to_units_nul(const Bytes& bytes) {
  std::u16string units;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    units.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
  }
  units.push_back(u'\0');
  return units;
}

}  // namespace qv::e2e
