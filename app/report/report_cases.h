// Reports that the reader must refuse, each with the line and the message it
// names, and texts that it must read, edited as editors edit text files: the
// reader's tests run them, and so does the test that holds the Python reader of
// docs/report-format.md to what qvdiff reads (report_cases_main.cpp writes them
// out as files).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace qv {

struct RefusedReport {
  std::string text;
  std::size_t line;
  std::string message;
};

[[nodiscard]] std::vector<RefusedReport> refused_reports();
[[nodiscard]] std::vector<std::string> accepted_reports();

}  // namespace qv
