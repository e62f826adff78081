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

// Each reader below takes the `scratch` units that every read of the walk
// reuses (see readers.h).

std::optional<std::string> read_instance_id(HDEVINFO set, SP_DEVINFO_DATA& device,
                                            std::u16string& scratch) {
  DWORD required = 0;
  (void)SetupDiGetDeviceInstanceIdW(set, &device, nullptr, 0, &required);
  if (required == 0) return std::nullopt;
  const DWORD size = required + 1;  // one spare zero unit
  scratch.assign(size, u'\0');
  if (!SetupDiGetDeviceInstanceIdW(set, &device, as_wchar(scratch.data()), size, &required)) {
    return std::nullopt;
  }
  return wide_until_nul(scratch);
}

std::vector<std::string> read_list(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property,
                                   std::u16string& scratch) {
  const auto units = read_device_property(set, device, property, scratch);
  return units ? split_multi_string(*units) : std::vector<std::string>{};
}

// Absent for a missing property and for an empty text alike.
std::optional<std::string> read_text(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property,
                                     std::u16string& scratch) {
  const auto units = read_device_property(set, device, property, scratch);
  if (!units) return std::nullopt;
  std::string text = wide_until_nul(*units);
  if (text.empty()) return std::nullopt;
  return text;
}

// The driver of a device whose driver key name is neither missing nor empty.
std::optional<DriverInfo> read_driver(HDEVINFO set, SP_DEVINFO_DATA& device,
                                      std::u16string& scratch) {
  const auto units = read_device_property(set, device, SPDRP_DRIVER, scratch);
  if (!units) return std::nullopt;
  const std::u16string_view key_name = units->substr(0, units->find(u'\0'));
  if (key_name.empty()) return std::nullopt;
  return lookup_driver(key_name, scratch);
}

// Fills the empty `record`; false when the member is left out: no readable
// instance id, or neither hardware nor compatible ids.
bool read_member(HDEVINFO set, SP_DEVINFO_DATA& device, std::u16string& scratch,
                 DeviceRecord& record) {
  auto instance_id = read_instance_id(set, device, scratch);
  if (!instance_id) return false;
  record.instance_id = std::move(*instance_id);
  record.hardware_ids = read_list(set, device, SPDRP_HARDWAREID, scratch);
  record.compatible_ids = read_list(set, device, SPDRP_COMPATIBLEIDS, scratch);
  if (record.hardware_ids.empty() && record.compatible_ids.empty()) return false;

  auto description = read_text(set, device, SPDRP_FRIENDLYNAME, scratch);
  if (!description) description = read_text(set, device, SPDRP_DEVICEDESC, scratch);
  record.description = std::move(description).value_or("");
  record.class_guid = read_text(set, device, SPDRP_CLASSGUID, scratch);
  record.driver = read_driver(set, device, scratch);
  return true;
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
  std::u16string scratch;
  for (DWORD index = 0;; ++index) {
    std::memset(&device, 0, sizeof device);
    device.cbSize = sizeof device;
    if (!SetupDiEnumDeviceInfo(set.get(), index, &device)) {
      // Read the code before anything else can replace it.
      if (GetLastError() == ERROR_NO_MORE_ITEMS) return devices;
      return std::unexpected(from_last_error("The device list ended unexpectedly."));
    }
    // Filled where it is kept, so that no record is moved on its way in.
    if (!read_member(set.get(), device, scratch, devices.emplace_back())) devices.pop_back();
  }
}

}  // namespace qv
