// What only Windows has: the report file writer and the rules for the system's
// messages and codes.
#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>

#include "files.h"

namespace qv {

// Opens the file whatever its attributes (a hidden or system file too, which
// CREATE_ALWAYS would refuse), keeps them, and replaces the whole content. A
// device or a pipe (NUL, CON, \\.\pipe\name) takes the bytes as they come.
class FileReportWriter final : public ReportWriter {
 public:
  [[nodiscard]] std::expected<void, std::string> write_file(std::u16string_view path,
                                                            std::string_view bytes) override;
};

// A system message on one line: every run of CR and LF becomes one space, and
// white space at the end goes.
[[nodiscard]] std::u16string one_line_message(std::u16string_view message);

// The reader of a pipe has closed its end (`qv | more` quit early). Windows
// says 232 or 109; Wine says 233 for the same event.
[[nodiscard]] bool reader_has_left(std::uint32_t code);

}  // namespace qv
