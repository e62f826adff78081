// Temporary: an empty scan until the real scanner lands.
#include "scan.h"

namespace qv {
std::expected<ScanResult, ScanError> scan() { return ScanResult{}; }
std::string os_version_text() { return {}; }
}  // namespace qv
