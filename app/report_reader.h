// Reading a "qvdev1" report back: strict about its structure, tolerant of what
// editors do to text files (CR LF line ends, a UTF-8 byte-order mark, no final
// line feed). Whatever serialize_report writes for a result without control
// characters reads back as the same result.
#pragma once

#include <cstddef>
#include <expected>
#include <optional>
#include <span>
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

// A slice of ReportView::ids.
struct IdRange {
  std::size_t first = 0;
  std::size_t count = 0;
};

// The records of a report as views into its text, which must outlive them:
// comparing two large reports then costs little more memory than the files.
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
  IdRange hardware_ids{};
  IdRange compatible_ids{};
  std::optional<DriverView> driver{};
};

struct ReportView {
  std::string_view host{};
  std::string_view os{};
  std::string_view arch{};
  bool server = false;
  std::vector<DeviceView> devices{};    // in report order; instance ids are unique
  std::vector<std::string_view> ids{};  // every hwid and cid entry, in report order

  [[nodiscard]] std::span<const std::string_view> entries(IdRange range) const {
    return std::span(ids).subspan(range.first, range.count);
  }
};

// The views point into `text`.
[[nodiscard]] std::expected<ReportView, ReportError> parse_report(std::string_view text);
[[nodiscard]] std::expected<ScanResult, ReportError> read_report(std::string_view text);

}  // namespace qv
