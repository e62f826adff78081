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

#include "files.h"
#include "output.h"
#include "scan_error.h"
#include "scan_result.h"

namespace qv {

using ScanOutcome = std::expected<ScanResult, ScanError>;
using ScanFunction = std::function<ScanOutcome()>;

// `arguments` is the whole argument vector, program name first. Returns the
// exit status: 0 for a listing or a written report, 1 otherwise. A standard
// output that fails makes the status 1 but never stops the report; one that the
// process does not have at all is no failure.
[[nodiscard]] int run(std::span<const std::u16string> arguments, const ScanFunction& scan,
                      OutputSink& out, OutputSink& err, ReportWriter& files);

}  // namespace qv
