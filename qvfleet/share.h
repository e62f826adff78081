// The report files under the paths an administrator names: each file as it is,
// each folder searched to its depth, every file once however often it is reached.
//
//   const FoundFiles found = find_report_files({"\\\\server\\qv", "extra.txt"});
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "indexer.h"

namespace qv {

struct FoundFiles {
  std::vector<ReportFile> files;  // sorted by path, each once
  // A path that could not be searched or read, and why, as a sentence.
  struct Problem {
    std::string path;
    std::string reason;
  };
  std::vector<Problem> problems;
};

[[nodiscard]] FoundFiles find_report_files(const std::vector<std::filesystem::path>& paths);

// The path as UTF-8, as the index keeps it.
[[nodiscard]] std::string utf8_path(const std::filesystem::path& path);

}  // namespace qv
