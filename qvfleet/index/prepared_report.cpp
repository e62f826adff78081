#include "prepared_report.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

#include "section_digests.h"
#include "sha256.h"

namespace qv {
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

namespace {

// The cache holds only texts of reports read soundly: a section it holds is
// taken as read, with its digest, and the rest are read, digested and kept.
void prepare_with(PreparedReport& prepared, SectionDigests& known) {
  const std::string_view text = prepared.bytes;
  const std::vector<std::string_view> texts = section_texts(text);
  const std::vector<std::optional<SectionDigest>> held = known.held(texts);
  // The held text that starts at `start`, if any: sections come in order.
  std::size_t next = 0;
  const auto held_at = [&](const char* start) -> const std::optional<SectionDigest>* {
    while (next < texts.size() && texts[next].data() < start) ++next;
    return next < texts.size() && texts[next].data() == start && held[next] ? &held[next] : nullptr;
  };
  prepared.report = parse_report(text, [&](std::string_view section) {
    return held_at(section.data()) && texts[next].size() == section.size();
  });
  if (!prepared.report) return;
  const std::vector<SectionView>& sections = prepared.report->sections;
  prepared.digests.reserve(sections.size());
  next = 0;
  for (std::size_t i = 0; i < sections.size(); ++i) {
    const std::string_view section = sections[i].text;
    // Where both start, equal sizes are equal bytes.
    if (const auto* digest = held_at(section.data());
        digest && texts[next].size() == section.size()) {
      prepared.digests.push_back(**digest);
      continue;
    }
    prepared.digests.push_back(known.digest(section));
    // A section from parse_report reads again without fault; the index reads
    // any it finds no fields for itself, and says what is wrong.
    if (auto fields = read_section(sections[i])) {
      prepared.fields.emplace_back(i, std::move(*fields));
    }
  }
}

}  // namespace

std::unique_ptr<const PreparedReport> prepare_report(std::string bytes, SectionDigests* known) {
  auto prepared = std::make_unique<PreparedReport>();
  prepared->bytes = std::move(bytes);
  prepared->sha256 = to_hex(sha256(prepared->bytes));
  if (known) {
    prepare_with(*prepared, *known);
    if (prepared->report) prepared->repeated = repeated_positions(*prepared->report);
    return prepared;
  }
  prepared->report = parse_report(prepared->bytes);
  if (!prepared->report) return prepared;
  prepared->repeated = repeated_positions(*prepared->report);
  prepared->digests.reserve(prepared->report->sections.size());
  for (const SectionView& section : prepared->report->sections) {
    prepared->digests.push_back(section_digest(section.text));
  }
  return prepared;
}

}  // namespace qv
