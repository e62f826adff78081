// The report files under the paths an administrator names: each file as it is,
// each folder searched to its depth (links followed, each folder once), every
// file once however many paths reach it.
//
//   const FoundFiles found = find_report_files({"\\\\server\\qv", "extra.txt"}, index_ids);
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "indexer.h"

namespace qv {

struct FoundFiles {
  std::vector<ReportFile> files;  // sorted by path, each file once
  // A path that could not be searched or is no file, and why, as a sentence.
  struct Problem {
    std::string path;
    std::string reason;
  };
  std::vector<Problem> problems;
};

// The files whose identities are in `skipped` (the index's own files) are left
// out without a word, and so are qv's temporary files (`.qv-*.tmp`), whether met
// in a folder or named. `on_found` hears the count of files found as it grows.
[[nodiscard]] FoundFiles find_report_files(
    const std::vector<std::filesystem::path>& paths, const std::set<std::string>& skipped,
    const std::function<void(std::size_t)>& on_found = {});

}  // namespace qv
