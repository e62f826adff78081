// The outcome of one scan: plain values, filled by the scanner and only read
// by the console output and the report writer. Every field has a default so
// that a record can be built naming only the fields that matter.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "driver.h"

namespace qv {

struct DriverInfo {
  DriverIdentity identity{};
  std::string description{};  // empty when the driver key has none
  std::optional<std::string> provider{};
  std::optional<std::string> inf_path{};
  std::optional<std::string> inf_section_ext{};
  std::optional<std::string> matching_device_id{};
  friend bool operator==(const DriverInfo&, const DriverInfo&) = default;
};

struct DeviceRecord {
  std::string instance_id{};
  std::string description{};
  std::optional<std::string> class_guid{};
  std::vector<std::string> hardware_ids{};
  std::vector<std::string> compatible_ids{};
  std::optional<DriverInfo> driver{};  // absent: the device has no driver
  friend bool operator==(const DeviceRecord&, const DeviceRecord&) = default;
};

struct ScanResult {
  std::string host{};
  std::string os{};
  std::string arch{};
  bool server = false;
  std::vector<DeviceRecord> devices{};
  friend bool operator==(const ScanResult&, const ScanResult&) = default;
};

}  // namespace qv
