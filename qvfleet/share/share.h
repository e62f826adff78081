// The report files under the paths an administrator names: each file as it is,
// each folder searched to its depth (links followed, each folder once), every
// file once however many paths reach it.
//
//   const FoundFiles found = find_report_files({"\\\\server\\qv", "extra.txt"}, index_ids);
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace qv {

// A report file as found: where it is, which file it is and how it was when last
// written.
struct ReportFile {
  // Absolute, as the system names the file, in the bytes that open it (on
  // Windows the final path of the open handle without its \\?\ prefix). The
  // index keeps it as UTF-8, with U+FFFD for each byte that is not.
  std::string path;
  std::int64_t size = 0;  // bytes
  // Last write, in nanoseconds since 1970-01-01 UTC, to the precision the system
  // keeps (100 ns on Windows).
  std::int64_t mtime_ns = 0;
  // The system's identity of the file: "DEV:INO" on POSIX, "VOLUMESERIAL:FILEINDEX"
  // on Windows, in lowercase hexadecimal; empty when unknown.
  std::string file_id;
};

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
[[nodiscard]] FoundFiles find_report_files(const std::vector<std::filesystem::path>& paths,
                                           const std::set<std::string>& skipped,
                                           const std::function<void(std::size_t)>& on_found = {});

}  // namespace qv
