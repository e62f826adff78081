// Every present device of every setup class, with the driver bound to it.
#pragma once

#include <expected>
#include <vector>

#include "scan_error.h"
#include "scan_result.h"

namespace qv {

// The devices in the order the Setup API hands them out, or the error that
// stopped the walk; never a partial list.
[[nodiscard]] std::expected<std::vector<DeviceRecord>, ScanError> enumerate_devices();

}  // namespace qv
