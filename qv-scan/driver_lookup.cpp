#include "driver_lookup.h"

#include <algorithm>
#include <array>
#include <string>

#include "driver.h"
#include "handles.h"
#include "readers.h"

namespace qv {

std::optional<DriverInfo> lookup_driver(std::string_view key_name) {
  std::string path = "SYSTEM\\CurrentControlSet\\Control\\Class\\";
  path += key_name;
  const auto key = open_local_machine_key(path);
  if (!key) return std::nullopt;

  // Dates come as 6-21-2006 as well as 6/21/2006; both parse alike.
  std::string date = read_registry_string(key->get(), "DriverDate").value_or("");
  std::ranges::replace(date, '-', '/');
  const std::string version = read_registry_string(key->get(), "DriverVersion").value_or("");
  const std::array<std::string_view, 2> fields{date, version};
  const auto identity = parse_driver_identity(fields);
  if (!identity) return std::nullopt;

  // Braced initialisers run in order: the values are read as listed.
  return DriverInfo{
      .identity = *identity,
      .description = read_registry_string(key->get(), "DriverDesc").value_or(""),
      .provider = read_registry_string(key->get(), "ProviderName"),
      .inf_path = read_registry_string(key->get(), "InfPath"),
      .inf_section_ext = read_registry_string(key->get(), "InfSectionExt"),
      .matching_device_id = read_registry_string(key->get(), "MatchingDeviceId"),
  };
}

}  // namespace qv
