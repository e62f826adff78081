// What changed from one report to another, as text: one fact a line, each line
// a label padded to ten characters and then the report's own "key=value" (or,
// for a device heading, its instance id). docs/qvdiff.md is the contract of this
// output, for people and scripts; keep the two in step.
//
//   removed   ROOT\X\0001                  a device only OLD has; "old" lines follow
//   added     ROOT\X\0002                  a device only NEW has; "new" lines follow
//   changed   ROOT\X\0003                  a device in both; each fact that differs
//   old       driver_ver=2023-03-14 2.1.3.15   as OLD has it,
//   new       driver_ver=2023-03-14 2.2.0.1    then as NEW has it
#pragma once

#include <expected>
#include <functional>
#include <string_view>

#include "report_reader.h"

namespace qv {

// Takes the output a few whole lines at a time; false when it could not.
using TextSink = std::function<bool(std::string_view)>;

enum class Comparison { same, differ, write_failed };

// Writes nothing when the reports describe the same state. The reports come
// from parse_report; the error of a section that could not be read again is
// the outcome, though a checked section never gives one.
[[nodiscard]] std::expected<Comparison, ReportError> compare_reports(const ReportView& old_report,
                                                                     const ReportView& new_report,
                                                                     const TextSink& out);

}  // namespace qv
