// One run of the program: scan once, print the summary, then either list the
// devices or write the report file. Streams and files are reached through the
// small interfaces below so the flow runs the same with fakes in tests.
#pragma once

#include <cstdint>
#include <expected>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "scan_error.h"
#include "scan_result.h"

namespace qv {

// What became of one write to a standard stream.
struct WriteOutcome {
  enum class Kind {
    written,  // every byte taken
    failed,   // the stream took some or none of the bytes
    absent,   // the process has no such stream; the bytes are dropped
  };
  Kind kind = Kind::written;
  std::uint32_t code = 0;  // failed: the system's error code
  std::string text{};      // failed: its message and code, as the "Couldn't write" lines show it
};

// Standard output or standard error.
class OutputSink {
 public:
  virtual ~OutputSink() = default;
  [[nodiscard]] virtual WriteOutcome write(std::string_view bytes) = 0;
};

// Creates or truncates the file at `path`, writes `bytes` whole and closes it.
// On failure, the error text for the "Couldn't write" line.
class ReportWriter {
 public:
  virtual ~ReportWriter() = default;
  [[nodiscard]] virtual std::expected<void, std::string> write_file(std::u16string_view path,
                                                                    std::string_view bytes) = 0;
};

using ScanOutcome = std::expected<ScanResult, ScanError>;
using ScanFunction = std::function<ScanOutcome()>;

// `arguments` is the whole argument vector, program name first. Returns the
// exit status: 0 for a listing or a written report, 1 otherwise. A standard
// output that fails makes the status 1 but never stops the report; one that the
// process does not have at all is no failure.
[[nodiscard]] int run(std::span<const std::u16string> arguments, const ScanFunction& scan,
                      OutputSink& out, OutputSink& err, ReportWriter& files);

}  // namespace qv
