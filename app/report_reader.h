// Reading a "qvdev1" report back: strict about its structure, tolerant of what
// editors do to text files (CR LF line ends, a UTF-8 byte-order mark, no final
// line feed). Whatever serialize_report writes for a result without control
// characters reads back as the same result.
#pragma once

#include <cstddef>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "driver.h"
#include "scan_result.h"

namespace qv {

struct ReportError {
  std::size_t line = 0;  // 1-based
  std::string message;   // one sentence saying what is wrong
  friend bool operator==(const ReportError&, const ReportError&) = default;
};

// The fields of one device section, as views into the report's text.
struct DriverView {
  DriverIdentity identity{};
  std::string_view identity_text{};  // exactly the display text of `identity`
  std::string_view description{};
  std::optional<std::string_view> provider{};
  std::optional<std::string_view> inf_path{};
  std::optional<std::string_view> inf_section_ext{};
  std::optional<std::string_view> matching_device_id{};
  friend bool operator==(const DriverView&, const DriverView&) = default;
};

struct DeviceView {
  std::string_view instance_id{};
  std::string_view description{};
  std::optional<std::string_view> class_guid{};
  std::vector<std::string_view> hardware_ids{};
  std::vector<std::string_view> compatible_ids{};
  std::optional<DriverView> driver{};
  friend bool operator==(const DeviceView&, const DeviceView&) = default;
};

// A checked device section, kept as its text: comparing two large reports then
// costs little more memory than the files. Sections with the same text hold the
// same device; device_of gives the fields.
struct SectionView {
  std::string_view instance_id{};
  std::string_view text{};  // its lines after "[device]", line ends included
};

struct ReportView {
  std::string_view host{};
  std::string_view os{};
  std::string_view arch{};
  bool server = false;
  std::vector<SectionView> devices{};  // in report order; instance ids are unique
};

// The views point into `text`.
[[nodiscard]] std::expected<ReportView, ReportError> parse_report(std::string_view text);
// The fields of a section that parse_report gave.
[[nodiscard]] DeviceView device_of(const SectionView& section);
[[nodiscard]] std::expected<ScanResult, ReportError> read_report(std::string_view text);

}  // namespace qv
