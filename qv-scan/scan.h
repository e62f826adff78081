// The scanner's entry: host facts and every present device with its driver.
#pragma once

#include <expected>

#include "scan_error.h"
#include "scan_result.h"

namespace qv {

// One complete result or one error; never a partial list.
[[nodiscard]] std::expected<ScanResult, ScanError> scan();

}  // namespace qv
