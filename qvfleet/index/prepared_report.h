// A report file's bytes prepared for the index away from it, on any thread:
// the SHA-256 of the whole, the report read and checked, and the digest of each
// device section, the key of its row in device_state.
//
//   const auto prepared = prepare_report(std::move(bytes), &known);
//   if (prepared->report) ... prepared->digests[i] is section i's key
#pragma once

#include <array>
#include <cstdint>
#include <expected>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "report_keys.h"
#include "report_reader.h"

namespace qv {

class SectionDigests;

// A report file's bytes with all that is made of them without the index: the
// SHA-256 of the whole, the report read and checked, and each section's digest.
// Made on any thread; it stays where it was made, since the report views its bytes.
struct PreparedReport {
  std::string bytes;
  std::string sha256;  // lowercase hex
  std::expected<ReportView, ReportError> report = ReportView{};
  std::vector<SectionDigest> digests;  // one per section, in the report's order
  std::vector<std::size_t> repeated;   // repeated_positions of the report
  // The fields of the sections whose texts the run had not met before, or may
  // not have, by position in ascending order: most of them are new device
  // states, whose rows the index needs them for.
  std::vector<std::pair<std::size_t, SectionFields>> fields;
};
// The sections' digests are looked up in `known` when given (section_digests.h),
// which saves computing those of texts met before.
[[nodiscard]] std::unique_ptr<const PreparedReport> prepare_report(std::string bytes,
                                                                   SectionDigests* known = nullptr);

}  // namespace qv
