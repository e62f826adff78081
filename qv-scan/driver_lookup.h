// The driver bound to a device, from its key below the setup classes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "readers.h"
#include "scan_result.h"

namespace qv {

// `key_name` is the device's driver key name, e.g. "{guid}\0001"; the values
// are read through `reader`. Absent when the key cannot be opened or its date
// and version give no identity.
[[nodiscard]] std::optional<DriverInfo> lookup_driver(std::u16string_view key_name, Reader& reader);

}  // namespace qv
