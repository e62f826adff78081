// The page's data as the page holds it: the JSON compressed in zlib's format at one
// fixed level, then in base64, which holds no markup. The JSON of a fleet's changes
// repeats itself a great deal: 35.6 MB of a 1,000-host month packs into 5.9 MB.
// zlib gives the same bytes for the same input at the same level and version, so
// qvfleet and qvfleet.exe still write the same page.
//
//   auto packed = pack_data(R"({"a":1})");  // "eJyrVkpUsjKsBQAIKgIJ"
#pragma once

#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>

namespace qv {

// Standard base64 (RFC 4648), with padding.
[[nodiscard]] std::string base64(std::span<const std::uint8_t> bytes);

// `json` compressed and in base64. A failure is zlib's, in one sentence: only
// memory can run out.
[[nodiscard]] std::expected<std::string, std::string> pack_data(std::string_view json);

}  // namespace qv
