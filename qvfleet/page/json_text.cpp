#include "json_text.h"

#include "report_format.h"

namespace qv {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

void append_unicode_escape(std::string& out, char32_t code) {
  constexpr std::string_view kHex = "0123456789abcdef";
  out += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(code >> shift) & 0xF];
}

// The code point of a well-formed sequence.
char32_t code_point(std::string_view sequence) {
  const auto first = static_cast<unsigned char>(sequence[0]);
  if (sequence.size() == 1) return first;
  char32_t code = first & (0x7F >> sequence.size());
  for (std::size_t i = 1; i < sequence.size(); ++i) {
    code = (code << 6) | (static_cast<unsigned char>(sequence[i]) & 0x3F);
  }
  return code;
}

bool must_escape(char32_t code) {
  return code < 0x20 || (code >= 0x7F && code <= 0x9F) || code == '<' || code == '>' ||
         code == '&' || code == 0x2028 || code == 0x2029;
}

}  // namespace

void append_json_string(std::string& out, std::string_view text) {
  out += '"';
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t length = well_formed_length(text, pos);
    if (length == 0) {
      out += kReplacement;
      ++pos;
      continue;
    }
    const std::string_view sequence = text.substr(pos, length);
    const char32_t code = code_point(sequence);
    if (code == '"' || code == '\\') {
      out += '\\';
      out += static_cast<char>(code);
    } else if (must_escape(code)) {
      append_unicode_escape(out, code);
    } else {
      out += sequence;
    }
    pos += length;
  }
  out += '"';
}

std::string html_text(std::string_view text) {
  std::string html;
  for (const char c : one_line_text(text)) {
    switch (c) {
      case '&':
        html += "&amp;";
        break;
      case '<':
        html += "&lt;";
        break;
      case '>':
        html += "&gt;";
        break;
      case '"':
        html += "&quot;";
        break;
      case '\'':
        html += "&#39;";
        break;
      default:
        html += c;
    }
  }
  return html;
}

}  // namespace qv
