#include "scan.h"

#include <utility>

#include "devices.h"
#include "host.h"

namespace qv {

std::expected<ScanResult, ScanError> scan() {
  ScanResult result;
  result.host = host_name();
  result.os = os_version_text();
  result.arch = architecture();
  result.server = server_edition();
  auto devices = enumerate_devices();
  if (!devices) return std::unexpected(std::move(devices).error());
  result.devices = std::move(*devices);
  return result;
}

}  // namespace qv
