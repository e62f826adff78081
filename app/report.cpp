#include "report.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

namespace qv {
namespace {

using namespace std::string_view_literals;

// The bytes that may start a control character: U+0000..U+001F and U+007F are
// one byte; U+0080..U+009F are C2 80..C2 9F. 0xC2 is never a continuation
// byte, so a byte scan finds the same characters as a decoder would, and any
// other byte, well-formed or not, is copied as it is.
constexpr std::array<bool, 256> kSpecial = [] {
  std::array<bool, 256> table{};
  for (std::size_t b = 0; b < 0x20; ++b) table[b] = true;
  table[0x7F] = true;
  table[0xC2] = true;
  return table;
}();

// One flag bit per byte that may start a control character; the lowest flag
// always marks a real one (borrows only run upwards from a hit), which is all
// the scan needs. Works on 4- and 8-byte words.
template <typename Word>
constexpr Word special_flags(Word word) {
  constexpr Word ones = static_cast<Word>(0x0101010101010101u);
  constexpr Word highs = static_cast<Word>(0x8080808080808080u);
  const Word below_space = static_cast<Word>((word - ones * 0x20) & ~word);
  const Word del = word ^ static_cast<Word>(ones * 0x7F);
  const Word c2 = word ^ static_cast<Word>(ones * 0xC2);
  const Word is_del = static_cast<Word>((del - ones) & ~del);
  const Word is_c2 = static_cast<Word>((c2 - ones) & ~c2);
  return (below_space | is_del | is_c2) & highs;
}

template <typename Word>
Word load(const unsigned char* in) {
  Word word;
  std::memcpy(&word, in, sizeof word);
  return word;
}

template <typename Word>
void store(char* out, Word word) {
  std::memcpy(out, &word, sizeof word);
}

constexpr bool kLittleEndian = std::endian::native == std::endian::little;

// The general walk from byte `i` on: whole clean words at a time, then one
// character at a time around a control character or in a short tail.
char* put_value_from(char* out, const unsigned char* in, std::size_t size, std::size_t i) {
  while (i < size) {
    if constexpr (kLittleEndian) {
      if (size - i >= 8) {
        // Stored ahead: the output never runs ahead of the input, and what
        // lies past the clean bytes is overwritten by what follows.
        const auto word = load<std::uint64_t>(in + i);
        store(out, word);
        const std::uint64_t flags = special_flags(word);
        const auto clean = flags == 0 ? 8u : static_cast<unsigned>(std::countr_zero(flags) / 8);
        i += clean;
        out += clean;
        if (clean == 8) continue;
      }
    }
    const unsigned char byte = in[i];
    if (!kSpecial[byte]) {
      *out++ = static_cast<char>(byte);
      ++i;
    } else if (byte != 0xC2) {
      *out++ = ' ';
      ++i;
    } else if (i + 1 < size && in[i + 1] >= 0x80 && in[i + 1] <= 0x9F) {
      *out++ = ' ';
      i += 2;
    } else {
      *out++ = static_cast<char>(byte);
      ++i;
    }
  }
  return out;
}

// Writes `value` at `out` with every control character as one space and
// returns the end; never writes more than value.size() bytes. Clean values,
// the usual case, take whole words, and the last word overlaps the one before
// instead of a byte-by-byte tail.
char* put_value(char* out, std::string_view value) {
  const auto* in = reinterpret_cast<const unsigned char*>(value.data());
  const std::size_t size = value.size();
  if constexpr (kLittleEndian) {
    if (size >= 8) {
      std::size_t i = 0;
      for (; size - i >= 8; i += 8) {
        const auto word = load<std::uint64_t>(in + i);
        if (special_flags(word) != 0) return put_value_from(out + i, in, size, i);
        store(out + i, word);
      }
      if (i == size) return out + size;
      const auto last = load<std::uint64_t>(in + size - 8);
      if (special_flags(last) != 0) return put_value_from(out + i, in, size, i);
      store(out + size - 8, last);
      return out + size;
    }
    if (size >= 4) {
      const auto first = load<std::uint32_t>(in);
      const auto last = load<std::uint32_t>(in + size - 4);
      if ((special_flags(first) | special_flags(last)) != 0)
        return put_value_from(out, in, size, 0);
      store(out, first);
      store(out + size - 4, last);
      return out + size;
    }
  }
  return put_value_from(out, in, size, 0);
}

// `key` includes its "=", and its length is known when compiled.
template <std::size_t N>
char* put_line(char* out, const char (&key)[N], std::string_view value) {
  std::memcpy(out, key, N - 1);
  out = put_value(out + N - 1, value);
  *out++ = '\n';
  return out;
}

std::size_t line_size(std::string_view key, std::string_view value) {
  return key.size() + value.size() + 1;
}

std::size_t optional_line_size(std::string_view key, const std::optional<std::string>& value) {
  return value ? line_size(key, *value) : 0;
}

template <std::size_t N>
char* put_optional_line(char* out, const char (&key)[N], const std::optional<std::string>& value) {
  return value ? put_line(out, key, *value) : out;
}

// Devices are written in small blocks: each block is measured, then written
// while its records are still in the cache.
constexpr std::size_t kBlock = 32;
// The first guess of the report's size; the first block refines it.
constexpr std::size_t kBytesPerDevice = 256;

// The driver identity texts of one block, back to back; a device without a
// driver has an empty one.
struct IdentityTexts {
  std::string text;
  std::array<std::size_t, kBlock + 1> starts{};

  void render(std::span<const DeviceRecord> block) {
    text.clear();
    for (std::size_t i = 0; i < block.size(); ++i) {
      starts[i] = text.size();
      if (block[i].driver) append_driver_identity_text(text, block[i].driver->identity);
    }
    starts[block.size()] = text.size();
  }
  std::string_view at(std::size_t i) const {
    return std::string_view(text).substr(starts[i], starts[i + 1] - starts[i]);
  }
};

// The output never exceeds this: replacing a character never lengthens it.
std::size_t size_bound(const DeviceRecord& device, std::string_view identity) {
  std::size_t size = "[device]\n"sv.size() + line_size("instance_id=", device.instance_id) +
                     line_size("description=", device.description) +
                     optional_line_size("class_guid=", device.class_guid);
  for (const std::string& id : device.hardware_ids) size += line_size("hwid=", id);
  for (const std::string& id : device.compatible_ids) size += line_size("cid=", id);
  if (const auto& driver = device.driver) {
    size += line_size("driver_ver=", identity) + line_size("driver_desc=", driver->description) +
            optional_line_size("driver_provider=", driver->provider) +
            optional_line_size("driver_inf=", driver->inf_path) +
            optional_line_size("driver_ext=", driver->inf_section_ext) +
            optional_line_size("driver_matching_id=", driver->matching_device_id);
  }
  return size;
}

char* put_device(char* out, const DeviceRecord& device, std::string_view identity) {
  std::memcpy(out, "[device]\n", 9);
  out += 9;
  out = put_line(out, "instance_id=", device.instance_id);
  out = put_line(out, "description=", device.description);
  out = put_optional_line(out, "class_guid=", device.class_guid);
  for (const std::string& id : device.hardware_ids) out = put_line(out, "hwid=", id);
  for (const std::string& id : device.compatible_ids) out = put_line(out, "cid=", id);
  if (const auto& driver = device.driver) {
    out = put_line(out, "driver_ver=", identity);
    out = put_line(out, "driver_desc=", driver->description);
    out = put_optional_line(out, "driver_provider=", driver->provider);
    out = put_optional_line(out, "driver_inf=", driver->inf_path);
    out = put_optional_line(out, "driver_ext=", driver->inf_section_ext);
    out = put_optional_line(out, "driver_matching_id=", driver->matching_device_id);
  }
  return out;
}

// Appends at most `bound` bytes through `put`, which returns its end.
template <typename Put>
void append(std::string& report, std::size_t bound, Put put) {
  const std::size_t start = report.size();
  report.resize_and_overwrite(start + bound, [&](char* data, std::size_t) {
    return static_cast<std::size_t>(put(data + start) - data);
  });
}

void append_header(std::string& report, const ScanResult& result) {
  const std::size_t bound = "qvdev1\n"sv.size() + line_size("host=", result.host) +
                            line_size("os=", result.os) + line_size("arch=", result.arch) +
                            "server=0\n"sv.size();
  append(report, bound, [&](char* out) {
    std::memcpy(out, "qvdev1\n", 7);
    out = put_line(out + 7, "host=", result.host);
    out = put_line(out, "os=", result.os);
    out = put_line(out, "arch=", result.arch);
    return put_line(out, "server=", result.server ? "1"sv : "0"sv);
  });
}

void append_block(std::string& report, std::span<const DeviceRecord> block,
                  IdentityTexts& identities) {
  identities.render(block);
  std::size_t bound = 0;
  for (std::size_t i = 0; i < block.size(); ++i) bound += size_bound(block[i], identities.at(i));
  append(report, bound, [&](char* out) {
    for (std::size_t i = 0; i < block.size(); ++i)
      out = put_device(out, block[i], identities.at(i));
    return out;
  });
}

}  // namespace

std::string serialize_report(const ScanResult& result) {
  const std::span<const DeviceRecord> devices = result.devices;
  std::string report;
  report.reserve(kBytesPerDevice * std::max<std::size_t>(devices.size(), 1));
  append_header(report, result);
  IdentityTexts identities;
  for (std::size_t first = 0; first < devices.size(); first += kBlock) {
    const auto block = devices.subspan(first, std::min(kBlock, devices.size() - first));
    append_block(report, block, identities);
    if (first == 0 && devices.size() > kBlock) {
      // Sized after the first devices, a uniform list needs no further copy.
      const std::size_t per_device = report.size() / kBlock + 1;
      report.reserve(per_device * devices.size() + per_device * devices.size() / 16);
    }
  }
  return report;
}

}  // namespace qv
