#include "fuzz_support.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "generated_result.h"

namespace qv::fuzz {

void require(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

namespace {

// The Unicode standard's table of well-formed UTF-8 byte sequences (Table 3-7),
// row by row: a range of lead bytes, the sequence's length and the range of its
// second byte; every later byte is 80..BF. Written out as the standard gives
// it, so that a fault in the decoders under test can't hide in a copy of them.
struct WellFormedRow {
  unsigned char lead_low, lead_high;
  std::size_t length;
  unsigned char second_low, second_high;
};
constexpr WellFormedRow kWellFormed[] = {
    {0x00, 0x7F, 1, 0x00, 0x00}, {0xC2, 0xDF, 2, 0x80, 0xBF}, {0xE0, 0xE0, 3, 0xA0, 0xBF},
    {0xE1, 0xEC, 3, 0x80, 0xBF}, {0xED, 0xED, 3, 0x80, 0x9F}, {0xEE, 0xEF, 3, 0x80, 0xBF},
    {0xF0, 0xF0, 4, 0x90, 0xBF}, {0xF1, 0xF3, 4, 0x80, 0xBF}, {0xF4, 0xF4, 4, 0x80, 0x8F},
};
// The bits of a lead byte that belong to the value, by sequence length.
constexpr unsigned kLeadBits[] = {0x7F, 0x1F, 0x0F, 0x07};

bool in(unsigned byte, unsigned low, unsigned high) { return byte >= low && byte <= high; }

}  // namespace

std::optional<CodePoint> decode_utf8(std::string_view text) {
  if (text.empty()) return std::nullopt;
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  for (const WellFormedRow& row : kWellFormed) {
    if (!in(byte(0), row.lead_low, row.lead_high)) continue;
    if (text.size() < row.length) return std::nullopt;
    if (row.length > 1 && !in(byte(1), row.second_low, row.second_high)) return std::nullopt;
    char32_t value = byte(0) & kLeadBits[row.length - 1];
    for (std::size_t i = 1; i < row.length; ++i) {
      if (!in(byte(i), 0x80, 0xBF)) return std::nullopt;
      value = (value << 6) | (byte(i) & 0x3F);
    }
    return CodePoint{value, row.length};
  }
  return std::nullopt;
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

// The fuzzer's bytes as the choices of a generated result. With `repair`,
// ill-formed bytes in the texts become '?'.
class FuzzChoices final : public Choices {
 public:
  FuzzChoices(FuzzedDataProvider& data, bool repair) : data_(data), repair_(repair) {}

  std::size_t below(std::size_t count) override {
    return data_.ConsumeIntegralInRange<std::size_t>(0, count - 1);
  }
  std::string text() override {
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
  bool exhausted() override { return data_.remaining_bytes() == 0; }

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
  FuzzChoices choices(data, data.ConsumeBool());
  return generated_result(choices, kMaxDevices);
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
