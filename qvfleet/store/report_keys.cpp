#include "report_keys.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

#include "sha256.h"

namespace qv {

namespace {

// A hash of an instance id from its length and its first and last eight bytes,
// which tell a machine's ids apart in a few instructions; ids that share it are
// compared as text.
std::uint64_t id_hash(std::string_view id) {
  std::uint64_t head = 0;
  std::uint64_t tail = 0;
  const std::size_t part = std::min<std::size_t>(id.size(), 8);
  std::memcpy(&head, id.data(), part);
  std::memcpy(&tail, id.data() + id.size() - part, part);
  return (head * 0x9E3779B97F4A7C15 ^ tail) * 0xC2B2AE3D27D4EB4F + id.size();
}

}  // namespace

std::vector<std::size_t> repeated_positions(const ReportView& report) {
  // The ids' hashes sorted bring equal ids side by side, in a few thousand
  // integer comparisons; only ids of equal hashes are compared as text.
  std::vector<std::pair<std::uint64_t, std::size_t>> hashed;  // hash, position
  hashed.reserve(report.sections.size());
  for (std::size_t i = 0; i < report.sections.size(); ++i) {
    hashed.emplace_back(id_hash(report.sections[i].instance_id), i);
  }
  std::sort(hashed.begin(), hashed.end());
  std::vector<std::size_t> positions;
  for (std::size_t first = 0, end = 0; first < hashed.size(); first = end) {
    end = first + 1;
    while (end < hashed.size() && hashed[end].first == hashed[first].first) ++end;
    for (std::size_t i = first; i < end && end - first > 1; ++i) {
      const std::string_view id = report.sections[hashed[i].second].instance_id;
      for (std::size_t j = first; j < end; ++j) {
        if (j != i && report.sections[hashed[j].second].instance_id == id) {
          positions.push_back(hashed[i].second);
          break;
        }
      }
    }
  }
  std::sort(positions.begin(), positions.end());
  return positions;
}

// The leading half of a SHA-256: plenty to tell apart the device states and
// drivers of any fleet, at half the size in the index.
SectionDigest key_digest(std::string_view bytes) {
  const Sha256Digest whole = sha256(bytes);
  SectionDigest digest;
  std::copy_n(whole.begin(), digest.size(), digest.begin());
  return digest;
}

// A section's lines with LF line ends, whatever an editor made of them: a value
// never holds a CR, so every CR belongs to a line end.
SectionDigest section_digest(std::string_view text) {
  if (text.find('\r') == std::string_view::npos) return key_digest(text);
  std::string lines;
  lines.reserve(text.size());
  for (const char c : text) {
    if (c != '\r') lines += c;
  }
  return key_digest(lines);
}

}  // namespace qv
