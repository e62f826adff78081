// The bytes of a report's lines, checked the way the reader needs them: many
// bytes at a time while they are printable ASCII, which nearly all of a report
// is. Internal to the reader; its tests read whole reports.
//
//   const std::size_t end = sound_line_end(text, pos);  // npos: read it slowly
//   if (auto fault = line_fault(line)) ... *fault is the sentence
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace qv {

// The first fault of a line's bytes: a control character, or bytes that are not
// UTF-8.
[[nodiscard]] std::optional<std::string> line_fault(std::string_view line);

// Where the text of the line that starts at `pos` ends, before its line feed or
// its carriage return and line feed; npos when it holds a fault or does not end
// in a line feed, for the slower reading that names what is wrong.
[[nodiscard]] std::size_t sound_line_end(std::string_view text, std::size_t pos);

// How many line feeds `text` holds.
[[nodiscard]] std::size_t line_feed_count(std::string_view text);

// Whether `text` is a driver identity in the shape nearly every driver's has,
// "2006-06-21 10.0.19041.1", which then needs no further reading.
[[nodiscard]] bool usual_identity_text(std::string_view text);

}  // namespace qv
