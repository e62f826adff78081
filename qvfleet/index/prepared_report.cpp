#include "prepared_report.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "section_digests.h"
#include "sha256.h"

namespace qv {

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
