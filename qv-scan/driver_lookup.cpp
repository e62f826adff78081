#include "driver_lookup.h"

#include <algorithm>
#include <array>

#include "driver.h"
#include "handles.h"
#include "text.h"

namespace qv {
namespace {

constexpr std::u16string_view kClassRoot = u"SYSTEM\\CurrentControlSet\\Control\\Class\\";

// The key's path, with the name as it would come back from UTF-8 text.
std::u16string driver_key_path(std::u16string_view key_name) {
  std::u16string path;
  path.reserve(kClassRoot.size() + key_name.size());
  path += kClassRoot;
  append_wide_repaired(path, key_name);
  return path;
}

}  // namespace

std::optional<DriverInfo> lookup_driver(std::u16string_view key_name, Reader& reader) {
  const auto key = open_local_machine_key(driver_key_path(key_name));
  if (!key) return std::nullopt;
  const auto read = [&](const char16_t* value_name) {
    return reader.read_registry_string(key->get(), value_name);
  };

  // Dates come as 6-21-2006 as well as 6/21/2006; both parse alike.
  std::string date = read(u"DriverDate").value_or("");
  std::ranges::replace(date, '-', '/');
  const std::string version = read(u"DriverVersion").value_or("");
  const std::array<std::string_view, 2> fields{date, version};
  const auto identity = parse_driver_identity(fields);
  if (!identity) return std::nullopt;

  // Braced initialisers run in order: the values are read as listed.
  return DriverInfo{
      .identity = *identity,
      .description = read(u"DriverDesc").value_or(""),
      .provider = read(u"ProviderName"),
      .inf_path = read(u"InfPath"),
      .inf_section_ext = read(u"InfSectionExt"),
      .matching_device_id = read(u"MatchingDeviceId"),
  };
}

}  // namespace qv
