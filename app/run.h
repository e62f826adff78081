// One run of the program: scan once, print the summary, then either list the
// devices or write the report file. Streams and files are reached through the
// small interfaces below so the flow runs the same with fakes in tests.
#pragma once

#include <expected>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "scan_error.h"
#include "scan_result.h"

namespace qv {

// Standard output or standard error.
class OutputSink {
 public:
  virtual ~OutputSink() = default;
  // Writes every byte; false when the stream took only some or none of them.
  [[nodiscard]] virtual bool write(std::string_view bytes) = 0;
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
// exit status: 0 for a listing or a written report, 1 otherwise.
[[nodiscard]] int run(std::span<const std::u16string> arguments, const ScanFunction& scan,
                      OutputSink& out, OutputSink& err, ReportWriter& files);

}  // namespace qv
