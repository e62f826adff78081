// The description files that the e2e tests use to add devices to a Wine prefix.
//
// One command a line; "#" starts a comment line, blank lines are skipped. A line is
// a keyword, a fixed number of words (each ended by one space) and then the data,
// which runs to the end of the line, spaces included. Every word and the data are
// escaped text: UTF-8 characters stand for their UTF-16 units (little-endian), and
// "\<...>" holds a space-separated list of raw items: "0" (a zero unit), "uXXXX"
// (one UTF-16 unit, so unpaired surrogates and control characters can be written)
// and "xHH" (one raw byte, for odd byte counts). Any other backslash is literal, so
// instance ids and registry paths read as they are. Nothing is added: a string
// value carries a terminating zero only when the line writes "\<0>".
//
//   class {GUID}                 setup class of the devices that follow (default System)
//   device ID                    SetupDiCreateDeviceInfoW + SetupDiRegisterDeviceInfo
//   hwid DATA, cid DATA          SPDRP_HARDWAREID, SPDRP_COMPATIBLEIDS
//   friendly DATA, desc DATA     SPDRP_FRIENDLYNAME, SPDRP_DEVICEDESC
//   prop CODE DATA               any SPDRP code
//   driver-key                   SetupDiCreateDevRegKeyW(DIREG_DRV)
//   driver-key NAME              the key Class\NAME, created directly, named by SPDRP_DRIVER
//   driver NAME TYPE DATA        a value of the current driver key
//   enum NAME TYPE DATA          a value of the device's own Enum key
//   enum-delete NAME             remove a value of the device's Enum key
//
// TYPE is sz, expand_sz, binary, dword, multi_sz, qword, none or a decimal number.
#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>
#include <vector>

namespace qv::e2e {

enum class Keyword {
  device_class,
  device,
  property,
  driver_key,
  driver_value,
  enum_value,
  enum_delete
};

// Escaped text decoded to the bytes handed to Windows.
using Bytes = std::vector<std::uint8_t>;

struct Command {
  int line = 0;
  Keyword keyword = Keyword::device;
  std::vector<Bytes> words;  // decoded words, in order
  Bytes data;
  std::uint32_t code = 0;  // SPDRP code for property, registry type for the two value forms
  bool has_data = false;   // driver-key: whether a NAME was given
};

[[nodiscard]] std::expected<Bytes, std::string> decode_escaped(std::string_view text);

// "line N: what is wrong" on the first bad line.
[[nodiscard]] std::expected<std::vector<Command>, std::string> parse_description(
    std::string_view file);

// The bytes as UTF-16 units with one zero unit appended; an odd last byte is dropped.
[[nodiscard]] std::u16string to_units_nul(const Bytes& bytes);

}  // namespace qv::e2e
