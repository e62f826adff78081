// The "qvdev1" report: the whole inventory as line-oriented UTF-8.
#pragma once

#include <string>

#include "scan_result.h"

namespace qv {

// The complete file, byte for byte. Control characters in values become spaces.
[[nodiscard]] std::string serialize_report(const ScanResult& result);

}  // namespace qv
