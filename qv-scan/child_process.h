// Runs a program and captures what it writes to standard output.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qv {

// Starts `application` with `command_line` (standard input the null device,
// environment and working directory inherited), reads its standard output and
// standard error together until both close, then waits for it without a time
// limit. Standard error is discarded and the exit status is not looked at.
// Absent when the program cannot be started or its output cannot be read.
[[nodiscard]] std::optional<std::string> capture_output(std::u16string_view application,
                                                        std::u16string_view command_line);

}  // namespace qv
