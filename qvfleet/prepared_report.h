// A report file's bytes prepared for the index away from it, on any thread:
// the SHA-256 of the whole, the report read and checked, and the digest of each
// device section, the key of its row in device_state.
//
//   const auto prepared = prepare_report(std::move(bytes));
//   if (prepared->report) ... prepared->digests[i] is section i's key
#pragma once

#include <array>
#include <cstdint>
#include <expected>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "report_reader.h"

namespace qv {

// The key of a device section in device_state.digest: texts that differ only in
// their line ends are one state.
using SectionDigest = std::array<std::uint8_t, 16>;
[[nodiscard]] SectionDigest section_digest(std::string_view section_text);

// A report file's bytes with all that is made of them without the index: the
// SHA-256 of the whole, the report read and checked, and each section's digest.
// Made on any thread; it stays where it was made, since the report views its bytes.
struct PreparedReport {
  std::string bytes;
  std::string sha256;  // lowercase hex
  std::expected<ReportView, ReportError> report = ReportView{};
  std::vector<SectionDigest> digests;  // one per section, in the report's order
};
[[nodiscard]] std::unique_ptr<const PreparedReport> prepare_report(std::string bytes);

}  // namespace qv
