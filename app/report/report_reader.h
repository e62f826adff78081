// Reading a "qvdev1" report back: strict about its structure and its UTF-8,
// tolerant of what editors do to text files (CR LF line ends, a UTF-8
// byte-order mark). A report whose last line does not end in a line feed was
// cut short and is refused. Whatever serialize_report writes for a result
// without control characters reads back as the same result.
//
//   const auto report = parse_report(text);        // checked whole; sections kept as text
//   if (!report) ... report.error().line, .message
//   for (const SectionView& section : report->sections) {
//     const auto fields = read_section(section);   // split only where needed
//     fields->value(Key::description) ...
//   }
//   const auto result = read_report(text);         // or everything as records at once
#pragma once

#include <cstddef>
#include <expected>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "report_format.h"
#include "scan_result.h"

namespace qv {

struct ReportError {
  std::size_t line = 0;  // 1-based
  std::string message;   // one sentence saying what is wrong
  friend bool operator==(const ReportError&, const ReportError&) = default;
};

// One value line of a section; the value is a view into the report's text.
struct Field {
  Key key;
  std::string_view value;
  friend bool operator==(const Field&, const Field&) = default;
};

// The value lines of one section, in report order. The lines of one key stand
// together, so each key's values are one run.
class SectionFields {
 public:
  // The lines of `key`: none, one, or for hwid and cid any number.
  [[nodiscard]] std::span<const Field> lines(Key key) const;
  // The value of a key that has at most one line.
  [[nodiscard]] std::optional<std::string_view> value(Key key) const;
  [[nodiscard]] std::span<const Field> all() const { return fields_; }
  friend bool operator==(const SectionFields&, const SectionFields&) = default;

 private:
  friend class SectionReader;
  std::vector<Field> fields_;
};

// A checked device section, kept as its text: comparing or indexing large
// reports then costs little more memory than the files. Sections with the same
// text describe the same device.
struct SectionView {
  std::string_view instance_id{};
  std::string_view text{};  // its lines after "[device]", line ends included
  std::size_t line = 0;     // the number of its "[device]" line
};

struct ReportView {
  std::string_view host{};
  std::string_view os{};
  std::string_view arch{};
  bool server = false;
  // In report order. An instance id may stand more than once: Windows' ids are
  // unique, but two that differ only in a control character are written alike.
  std::vector<SectionView> sections{};
};

// The views point into `text`.
[[nodiscard]] std::expected<ReportView, ReportError> parse_report(std::string_view text);
// Where sections start and end, as parse_report reads them and anything that
// finds sections beside it must: a section starts after a "[device]" line and
// ends where the next such line starts, or at the end of the text.
//
// Whether a "[device]" line starts at `pos`, a line's start.
[[nodiscard]] bool section_line_at(std::string_view text, std::size_t pos);
// Where the first "[device]" line at or after `pos`, a line's start, starts:
// text.size() when there is none.
[[nodiscard]] std::size_t next_section_line(std::string_view text, std::size_t pos);
// The texts of the sections, in order, as parse_report gives them for a sound
// report; views into `text`.
[[nodiscard]] std::vector<std::string_view> section_texts(std::string_view text);
// Told the text of a section, as parse_report finds it, whether its bytes are
// those of a section read soundly before, which then need no reading: the same
// bytes read the same wherever they stand.
using KnownSection = std::function<bool(std::string_view section)>;
// parse_report that takes the sections `known` holds as read.
[[nodiscard]] std::expected<ReportView, ReportError> parse_report(std::string_view text,
                                                                  const KnownSection& known);
// The fields of a section that parse_report gave, read by the same checks.
[[nodiscard]] std::expected<SectionFields, ReportError> read_section(const SectionView& section);
// The record of a section's fields.
[[nodiscard]] DeviceRecord device_record(const SectionFields& fields);
// The whole report as records.
[[nodiscard]] std::expected<ScanResult, ReportError> read_report(std::string_view text);

}  // namespace qv
