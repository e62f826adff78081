// Text that sits inside an HTML page: JSON strings that no value can break out
// of, and HTML-escaped text. Both are UTF-8 whatever they are given: each byte
// that is not well-formed UTF-8 becomes U+FFFD.
//
//   std::string json;
//   append_json_string(json, "</script>");  // "\u003c/script\u003e"
#pragma once

#include <string>
#include <string_view>

namespace qv {

// Appends `text` as a JSON string in quotes. Besides JSON's own escapes (the
// quote and the backslash), `<`, `>` and `&` are written as \u003c, \u003e and
// \u0026, so that no value ends the script element that holds it or starts a
// comment there, U+2028 and U+2029 as \u2028 and \u2029, and every control
// character (U+0000..U+001F, U+007F..U+009F) as \u00xx.
void append_json_string(std::string& out, std::string_view text);

// `text` for an element's content or an attribute's value: & < > " ' as
// character references, control characters as spaces.
[[nodiscard]] std::string html_text(std::string_view text);

}  // namespace qv
