// Conversion between the UTF-8 used everywhere and Windows' UTF-16. In these
// names "text" is UTF-8 (std::string) and "wide" is UTF-16 (std::u16string).
// Decoding is lenient unless a name says strict: bad input becomes U+FFFD, never
// an error.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// UTF-16 of the text followed by one zero unit; invalid UTF-8 becomes U+FFFD.
[[nodiscard]] std::u16string to_wide_nul(std::string_view text);
// An unpaired surrogate becomes U+FFFD.
[[nodiscard]] std::string wide_to_text(std::u16string_view units);
// The same, of the units before the first zero unit (all of them when none).
[[nodiscard]] std::string wide_until_nul(std::u16string_view units);
// A Windows multi-string; the first empty piece ends the list.
[[nodiscard]] std::vector<std::string> split_multi_string(std::u16string_view units);
// Appends the units with each unpaired surrogate replaced by U+FFFD, as a round
// trip through UTF-8 gives them back; the count of units stays the same.
void append_wide_repaired(std::u16string& out, std::u16string_view units);

// As wide_to_text, but absent when the units hold an unpaired surrogate.
[[nodiscard]] std::optional<std::string> utf16_to_utf8_strict(std::u16string_view units);
// Strict: true when the bytes are well-formed UTF-8 (no overlongs, no surrogates).
[[nodiscard]] bool is_valid_utf8(std::string_view bytes);
// Byte length of the character at `pos` (which must be inside `text`): a
// well-formed sequence counts whole, any other byte alone, so stepping by it
// never splits a sequence nor runs past the end.
[[nodiscard]] std::size_t utf8_char_length(std::string_view text, std::size_t pos);

// The words between runs of Unicode White_Space characters, in order, none
// empty. An ill-formed byte counts as part of a word.
[[nodiscard]] std::vector<std::string_view> split_white_space(std::string_view utf8);

}  // namespace qv
