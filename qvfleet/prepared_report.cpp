#include "prepared_report.h"

#include <algorithm>

#include "sha256.h"

namespace qv {
namespace {

// The leading half of a SHA-256: plenty to tell apart the device states of any
// fleet, at half the size in the index.
SectionDigest digest_of(std::string_view bytes) {
  const Sha256Digest whole = sha256(bytes);
  SectionDigest digest;
  std::copy_n(whole.begin(), digest.size(), digest.begin());
  return digest;
}

}  // namespace

// A section's lines with LF line ends, whatever an editor made of them: a value
// never holds a CR, so every CR belongs to a line end.
SectionDigest section_digest(std::string_view text) {
  if (text.find('\r') == std::string_view::npos) return digest_of(text);
  std::string lines;
  lines.reserve(text.size());
  for (const char c : text) {
    if (c != '\r') lines += c;
  }
  return digest_of(lines);
}

std::unique_ptr<const PreparedReport> prepare_report(std::string bytes) {
  auto prepared = std::make_unique<PreparedReport>();
  prepared->bytes = std::move(bytes);
  prepared->sha256 = to_hex(sha256(prepared->bytes));
  prepared->report = parse_report(prepared->bytes);
  if (prepared->report) {
    prepared->digests.reserve(prepared->report->sections.size());
    for (const SectionView& section : prepared->report->sections) {
      prepared->digests.push_back(section_digest(section.text));
    }
  }
  return prepared;
}

}  // namespace qv
