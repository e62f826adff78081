// The "qvdev1" report format, stated once for the writer, the reader and the
// programs that compare and index reports (docs/report-format.md says the same
// for people): the tag, the header keys, the section keys in their order with
// when each stands, and the one change a value undergoes.
//
//   for (const SectionKey& key : kSectionKeys) {
//     if (key.repeats) ...  // hwid, cid: one line per entry
//   }
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace qv {

inline constexpr std::string_view kFormatTag = "qvdev1";
inline constexpr std::string_view kSectionLine = "[device]";

// The header's keys, after the tag, in this order, each exactly once.
inline constexpr std::array<std::string_view, 4> kHeaderKeys = {"host", "os", "arch", "server"};

// A section's keys, in the order their lines stand.
enum class Key {
  instance_id,
  description,
  class_guid,
  hwid,
  cid,
  driver_ver,
  driver_desc,
  driver_provider,
  driver_inf,
  driver_ext,
  driver_matching_id,
};

struct SectionKey {
  Key key;
  std::string_view name;
  bool required;  // always there; of a driver's keys, whenever the device has a driver
  bool repeats;   // one line per entry of a list, possibly none
  bool driver;    // there only when the device has a driver: driver_ver's line says it has
};

inline constexpr std::array<SectionKey, 11> kSectionKeys = {{
    {Key::instance_id, "instance_id", true, false, false},
    {Key::description, "description", true, false, false},
    {Key::class_guid, "class_guid", false, false, false},
    {Key::hwid, "hwid", false, true, false},
    {Key::cid, "cid", false, true, false},
    {Key::driver_ver, "driver_ver", false, false, true},
    {Key::driver_desc, "driver_desc", true, false, true},
    {Key::driver_provider, "driver_provider", false, false, true},
    {Key::driver_inf, "driver_inf", false, false, true},
    {Key::driver_ext, "driver_ext", false, false, true},
    {Key::driver_matching_id, "driver_matching_id", false, false, true},
}};

constexpr std::size_t index_of(Key key) { return static_cast<std::size_t>(key); }
constexpr const SectionKey& section_key(Key key) { return kSectionKeys[index_of(key)]; }
constexpr std::string_view name_of(Key key) { return section_key(key).name; }

// Control characters, which a value never holds: the writer puts one space in
// the place of each. U+0000..U+001F and U+007F are single bytes; U+0080..U+009F
// are C2 80..C2 9F.
constexpr bool is_control_byte(unsigned char byte) { return byte < 0x20 || byte == 0x7F; }
constexpr bool is_c1_second_byte(unsigned char byte) { return byte >= 0x80 && byte <= 0x9F; }

// The byte length of the well-formed UTF-8 character at `pos` (inside `text`),
// or 0 when the bytes there are not one (the Unicode standard's table of
// well-formed byte sequences: no overlong forms, no surrogates, nothing past
// U+10FFFF).
[[nodiscard]] std::size_t well_formed_length(std::string_view text, std::size_t pos);

// What a text looks like in a one-line message: every control character a
// space, as in a report, and every byte that is not well-formed UTF-8 U+FFFD.
[[nodiscard]] std::string one_line_text(std::string_view text);

}  // namespace qv
