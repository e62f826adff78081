#include "fuzz_support.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace qv::fuzz {

void require(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

std::optional<CodePoint> decode_utf8(std::string_view text) {
  if (text.empty()) return std::nullopt;
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned lead = byte(0);
  if (lead < 0x80) return CodePoint{lead, 1};
  std::size_t length = 0;
  char32_t value = 0;
  char32_t minimum = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, value = lead & 0x1F, minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, value = lead & 0x0F, minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, value = lead & 0x07, minimum = 0x10000;
  } else {
    return std::nullopt;
  }
  if (text.size() < length) return std::nullopt;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return std::nullopt;
    value = (value << 6) | (byte(i) & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    return std::nullopt;
  }
  return CodePoint{value, length};
}

bool valid_utf8(std::string_view text) {
  while (!text.empty()) {
    const auto c = decode_utf8(text);
    if (!c) return false;
    text.remove_prefix(c->length);
  }
  return true;
}

std::size_t utf8_length(std::string_view text) {
  std::size_t count = 0;
  while (const auto c = decode_utf8(text)) {
    text.remove_prefix(c->length);
    ++count;
  }
  return count;
}

void append_utf8(std::string& out, char32_t c) {
  const auto put = [&](unsigned v) { out.push_back(static_cast<char>(v)); };
  if (c < 0x80) {
    put(c);
  } else if (c < 0x800) {
    put(0xC0 | (c >> 6)), put(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    put(0xE0 | (c >> 12)), put(0x80 | ((c >> 6) & 0x3F)), put(0x80 | (c & 0x3F));
  } else {
    put(0xF0 | (c >> 18)), put(0x80 | ((c >> 12) & 0x3F));
    put(0x80 | ((c >> 6) & 0x3F)), put(0x80 | (c & 0x3F));
  }
}

namespace {

constexpr std::size_t kMaxText = 300;  // long enough to pass the 60-character cut
constexpr std::size_t kMaxDevices = 64;
constexpr std::size_t kMaxIds = 4;

class Decoder {
 public:
  Decoder(FuzzedDataProvider& data, bool repair) : data_(data), repair_(repair) {}

  std::string text() {
    std::string raw = data_.ConsumeRandomLengthString(kMaxText);
    if (!repair_) return raw;
    std::string out;
    std::string_view rest = raw;
    while (!rest.empty()) {
      const auto c = decode_utf8(rest);
      const std::size_t n = c ? c->length : 1;
      out.append(c ? rest.substr(0, n) : "?");
      rest.remove_prefix(n);
    }
    return out;
  }

  std::optional<std::string> maybe_text() {
    if (!data_.ConsumeBool()) return std::nullopt;
    return text();
  }

  std::vector<std::string> texts() {
    std::vector<std::string> list(data_.ConsumeIntegralInRange<std::size_t>(0, kMaxIds));
    for (auto& entry : list) entry = text();
    return list;
  }

  DriverIdentity identity() {
    DriverIdentity identity;
    if (data_.ConsumeBool()) {
      identity.date = DriverDate{data_.ConsumeIntegralInRange<std::uint16_t>(100, 65535),
                                 data_.ConsumeIntegralInRange<std::uint8_t>(1, 12),
                                 data_.ConsumeIntegralInRange<std::uint8_t>(1, 31)};
    }
    for (auto& part : identity.version.parts) part = data_.ConsumeIntegral<std::uint16_t>();
    if (!identity.date && identity.version == DriverVersion{}) identity.version.parts[3] = 1;
    return identity;
  }

  DriverInfo driver() {
    DriverInfo info;
    info.identity = identity();
    info.description = text();
    info.provider = maybe_text();
    info.inf_path = maybe_text();
    info.inf_section_ext = maybe_text();
    info.matching_device_id = maybe_text();
    return info;
  }

  DeviceRecord device() {
    DeviceRecord device;
    device.instance_id = text();
    device.description = text();
    device.class_guid = maybe_text();
    device.hardware_ids = texts();
    device.compatible_ids = texts();
    if (data_.ConsumeBool()) device.driver = driver();
    return device;
  }

 private:
  FuzzedDataProvider& data_;
  bool repair_;
};

bool all_valid(const std::vector<std::string>& texts) {
  for (const auto& text : texts) {
    if (!valid_utf8(text)) return false;
  }
  return true;
}

bool all_valid(const std::optional<std::string>& text) { return !text || valid_utf8(*text); }

bool driver_valid(const DriverInfo& d) {
  return valid_utf8(d.description) && all_valid(d.provider) && all_valid(d.inf_path) &&
         all_valid(d.inf_section_ext) && all_valid(d.matching_device_id);
}

}  // namespace

ScanResult fuzzed_scan_result(FuzzedDataProvider& data) {
  const auto flags = data.ConsumeIntegral<std::uint8_t>();
  Decoder decoder(data, (flags & 1) != 0);
  ScanResult result;
  result.server = (flags & 2) != 0;
  result.host = decoder.text();
  result.os = decoder.text();
  result.arch = decoder.text();
  while (data.remaining_bytes() > 0 && result.devices.size() < kMaxDevices) {
    result.devices.push_back(decoder.device());
  }
  return result;
}

bool texts_valid_utf8(const ScanResult& result) {
  if (!valid_utf8(result.host) || !valid_utf8(result.os) || !valid_utf8(result.arch)) {
    return false;
  }
  for (const auto& d : result.devices) {
    if (!valid_utf8(d.instance_id) || !valid_utf8(d.description) || !all_valid(d.class_guid) ||
        !all_valid(d.hardware_ids) || !all_valid(d.compatible_ids) ||
        (d.driver && !driver_valid(*d.driver))) {
      return false;
    }
  }
  return true;
}

}  // namespace qv::fuzz
