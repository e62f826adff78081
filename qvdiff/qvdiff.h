// One run of qvdiff: read two reports, print what changed from the first to
// the second. Files and streams are reached through a function and two sinks,
// so the run is the same natively, on Windows and in tests.
#pragma once

#include <cstddef>
#include <expected>
#include <functional>
#include <span>
#include <string>

#include "output.h"
#include "report_diff.h"

namespace qv {

// The whole content of input `index` (0: OLD, 1: NEW), or why it could not be
// read, as a sentence ending in a full stop.
using ReadInput = std::function<std::expected<std::string, std::string>(std::size_t index)>;

enum ExitStatus : int { kSame = 0, kDiffer = 1, kTrouble = 2 };

// `names` are the arguments after the program's name, as UTF-8; they name the
// inputs in messages, with control characters shown as spaces. Standard output
// follows the programs' common rules; any failure of it is trouble.
[[nodiscard]] int run_qvdiff(std::span<const std::string> names, const ReadInput& read,
                             OutputSink& out, OutputSink& err);

}  // namespace qv
