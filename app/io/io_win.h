// What only Windows has: the rules for the system's messages and codes.
#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>

#include "files.h"

namespace qv {

// A system message on one line: every run of CR and LF becomes one space, and
// white space at the end goes.
[[nodiscard]] std::u16string one_line_message(std::u16string_view message);

// The reader of a pipe has closed its end (`qv | more` quit early). Windows
// says 232 or 109; Wine says 233 for the same event.
[[nodiscard]] bool reader_has_left(std::uint32_t code);

}  // namespace qv
