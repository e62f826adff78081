// What changed from one report to another, as text: one fact a line, each line
// a label padded to ten characters and then the report's own "key=value" (or,
// for a device heading, its instance id).
//
//   old       os=6.1.7601                  a host fact of OLD that NEW lacks
//   new       os=10.0.19045                the same fact as NEW has it
//   removed   ROOT\X\0001                  a device only OLD has; "old" lines follow
//   added     ROOT\X\0002                  a device only NEW has; "new" lines follow
//   changed   ROOT\X\0003                  a device in both; each fact that differs
//                                          follows as "old" and "new" lines
//
// Host facts come first (host, os, arch, server), then removed, added and
// changed devices, each group sorted by instance id (bytewise). A device's facts
// keep the report's key order, old before new for each key. An absent value has
// no line. For an identifier list only the entries added and removed are
// shown; a list that only changed order is shown whole on both sides. Devices
// are matched by instance id, so their order in the reports does not matter; an
// id that stands more than once is matched in order of appearance.
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
