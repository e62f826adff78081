// What the console shows after a scan: the summary and the device listing.
#pragma once

#include <string>

#include "scan_result.h"

namespace qv {

// The four summary lines.
[[nodiscard]] std::string summary_text(const ScanResult& result);
// An empty line, then one line per device; values are printed unescaped.
[[nodiscard]] std::string listing_text(const ScanResult& result);

}  // namespace qv
