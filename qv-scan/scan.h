// The scanner's entry: host facts and every present device with its driver.
#pragma once

#include <expected>
#include <string>

#include "scan_error.h"
#include "scan_result.h"

namespace qv {

// One complete result or one error; never a partial list.
[[nodiscard]] std::expected<ScanResult, ScanError> scan();

// The version number from the output of "cmd /d /c ver"; empty when none is found.
[[nodiscard]] std::string os_version_text();

}  // namespace qv
