#include "devices.h"

#include <cstring>
#include <optional>
#include <string>
#include <utility>

#include "driver_lookup.h"
#include "handles.h"
#include "readers.h"
#include "text.h"
#include "win_api.h"

namespace qv {
namespace {

// The driver of a device whose driver key name is neither missing nor empty.
std::optional<DriverInfo> read_driver(Reader& reader, HDEVINFO set, SP_DEVINFO_DATA& device) {
  const auto key_name = reader.property_units(set, device, SPDRP_DRIVER);
  if (!key_name) return std::nullopt;
  return lookup_driver(*key_name, reader);
}

// The member's record; absent when it is left out: no readable instance id, or
// neither hardware nor compatible ids.
std::optional<DeviceRecord> read_member(Reader& reader, HDEVINFO set, SP_DEVINFO_DATA& device) {
  auto instance_id = reader.instance_id(set, device);
  if (!instance_id) return std::nullopt;
  DeviceRecord record{.instance_id = std::move(*instance_id),
                      .hardware_ids = reader.property_list(set, device, SPDRP_HARDWAREID),
                      .compatible_ids = reader.property_list(set, device, SPDRP_COMPATIBLEIDS)};
  if (record.hardware_ids.empty() && record.compatible_ids.empty()) return std::nullopt;

  auto description = reader.property_text(set, device, SPDRP_FRIENDLYNAME);
  if (!description) description = reader.property_text(set, device, SPDRP_DEVICEDESC);
  record.description = std::move(description).value_or("");
  record.class_guid = reader.property_text(set, device, SPDRP_CLASSGUID);
  record.driver = read_driver(reader, set, device);
  return record;
}

}  // namespace

std::expected<std::vector<DeviceRecord>, ScanError> enumerate_devices() {
  const HDEVINFO handle =
      SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
  if (handle == INVALID_HANDLE_VALUE) {
    return std::unexpected(from_last_error("The list of devices couldn't be read."));
  }
  const DeviceInfoSet set(handle);
  std::vector<DeviceRecord> devices;
  SP_DEVINFO_DATA device;
  Reader reader;
  for (DWORD index = 0;; ++index) {
    std::memset(&device, 0, sizeof device);
    device.cbSize = sizeof device;
    if (!SetupDiEnumDeviceInfo(set.get(), index, &device)) {
      // Read the code before anything else can replace it.
      if (GetLastError() == ERROR_NO_MORE_ITEMS) return devices;
      return std::unexpected(from_last_error("The device list ended unexpectedly."));
    }
    if (auto record = read_member(reader, set.get(), device)) devices.push_back(std::move(*record));
  }
}

}  // namespace qv
