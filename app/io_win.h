// The process's standard streams and the report file on Windows.
#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>

#include "run.h"

namespace qv {

// Writes to a standard handle: through the console's wide-character API when
// the handle is a console, else the UTF-8 bytes unchanged (file or pipe). A
// process started without the stream (no handle at all) drops the bytes.
class StandardStreamSink final : public OutputSink {
 public:
  enum class Stream { output, error };
  explicit StandardStreamSink(Stream stream);
  [[nodiscard]] WriteOutcome write(std::string_view bytes) override;

 private:
  void* handle_;  // not owned; null or INVALID_HANDLE_VALUE when there is no such stream
  bool console_;
};

// Opens the file whatever its attributes (a hidden or system file too, which
// CREATE_ALWAYS would refuse), keeps them, and replaces the whole content.
class FileReportWriter final : public ReportWriter {
 public:
  [[nodiscard]] std::expected<void, std::string> write_file(std::u16string_view path,
                                                            std::string_view bytes) override;
};

// The system's message for a Win32 error code, then " (os error N)".
[[nodiscard]] std::string system_error_text(std::uint32_t code);

// A system message on one line: every run of CR and LF becomes one space, and
// white space at the end goes.
[[nodiscard]] std::u16string one_line_message(std::u16string_view message);

}  // namespace qv
