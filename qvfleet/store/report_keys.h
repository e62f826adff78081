// How the index keys what a report holds, alike for the index's run and for the
// upgrade of an older index: a device section and a driver by the leading half
// of a SHA-256, plenty to tell apart the device states and drivers of any fleet
// at half the size, a section's key ignoring its line ends; and the sections
// whose instance id stands more than once, the rows of repeated_device.
//
//   state.bind(1, section_digest(section.text));
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "report_reader.h"

namespace qv {

using SectionDigest = std::array<std::uint8_t, 16>;
// The key of a device section in device_state.digest.
[[nodiscard]] SectionDigest section_digest(std::string_view section_text);
// The same digest of any bytes: the key of a driver's row too.
[[nodiscard]] SectionDigest key_digest(std::string_view bytes);

// The positions of the sections whose instance id stands more than once in the
// report, in the report's order.
[[nodiscard]] std::vector<std::size_t> repeated_positions(const ReportView& report);

}  // namespace qv
