// listing_text and summary_text over a scan result decoded from the fuzz bytes.
// The summary prints its values unchanged. For well-formed descriptions the
// listing is valid UTF-8 and exactly the reference lines: the driver column
// padded to 30 characters, the description cut to 59 characters and "…" when it
// has more than 60, never inside a character.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "console.h"
#include "fuzz_support.h"

namespace {

using qv::fuzz::require;

std::string reference_summary(const qv::ScanResult& result) {
  std::size_t without_driver = 0;
  for (const auto& device : result.devices) without_driver += device.driver ? 0 : 1;
  return "host      " + result.host + "\nos        " + result.os + "\ndevices   " +
         std::to_string(result.devices.size()) + "\nno driver " + std::to_string(without_driver) +
         "\n";
}

std::string shortened(std::string_view text) {
  if (qv::fuzz::utf8_length(text) <= 60) return std::string(text);
  std::string_view rest = text;
  for (int i = 0; i < 59; ++i) rest.remove_prefix(qv::fuzz::decode_utf8(rest)->length);
  return std::string(text.substr(0, text.size() - rest.size())) + "\xE2\x80\xA6";
}

std::string reference_listing(const qv::ScanResult& result) {
  std::string out = "\n";
  for (const auto& device : result.devices) {
    std::string column =
        device.driver ? qv::driver_identity_text(device.driver->identity) : "-- no driver --";
    if (column.size() < 30) column.resize(30, ' ');
    out += "  " + column + "  " + shortened(device.description) + "\n";
  }
  return out;
}

bool descriptions_valid(const qv::ScanResult& result) {
  for (const auto& device : result.devices) {
    if (!qv::fuzz::valid_utf8(device.description)) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider provider(data, size);
  const qv::ScanResult result = qv::fuzz::fuzzed_scan_result(provider);
  require(qv::summary_text(result) == reference_summary(result), "summary differs from reference");
  const std::string listing = qv::listing_text(result);
  require(listing.starts_with('\n'), "listing: no leading empty line");
  if (descriptions_valid(result)) {
    require(qv::fuzz::valid_utf8(listing), "listing: not UTF-8 though every description is");
    require(listing == reference_listing(result), "listing differs from reference");
  }
  return 0;
}
