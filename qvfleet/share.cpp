#include "share.h"

#include <algorithm>
#include <chrono>
#include <system_error>

#include "database.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

std::int64_t ns_since_1970(fs::file_time_type time) {
  const auto system = std::chrono::file_clock::to_sys(time);
  return std::chrono::duration_cast<std::chrono::nanoseconds>(system.time_since_epoch()).count();
}

// The system's words for a failure, as a sentence.
std::string reason(const std::error_code& error) { return sentence(error.message()); }

class Finder {
 public:
  void add(const fs::path& given) {
    std::error_code error;
    const fs::path path = fs::absolute(given, error).lexically_normal();
    if (error) return problem(given, reason(error));
    const fs::file_status status = fs::status(path, error);
    if (error) return problem(given, reason(error));
    if (fs::is_directory(status)) return add_folder(path);
    if (!fs::is_regular_file(status)) {
      return problem(given, "It is not a file but a device, a pipe or a folder.");
    }
    const fs::directory_entry entry(path, error);
    if (error) return problem(given, reason(error));
    add_file(entry);
  }

  FoundFiles take() {
    std::ranges::sort(found_.files, {}, &ReportFile::path);
    const auto repeats = std::ranges::unique(found_.files, {}, &ReportFile::path);
    found_.files.erase(repeats.begin(), repeats.end());
    return std::move(found_);
  }

 private:
  // Walked by hand, so that a folder that can't be read is said and the others
  // are still searched. Links to folders are not followed: a share holds no loops.
  void add_folder(const fs::path& top) {
    std::vector<fs::path> folders = {top};
    while (!folders.empty()) {
      const fs::path folder = std::move(folders.back());
      folders.pop_back();
      std::error_code error;
      fs::directory_iterator walk(folder, error);
      for (; !error && walk != fs::directory_iterator(); walk.increment(error)) {
        const fs::directory_entry& entry = *walk;
        std::error_code kind;
        if (entry.is_directory(kind) && !entry.is_symlink(kind)) {
          folders.push_back(entry.path());
        } else if (entry.is_regular_file(kind)) {
          add_file(entry);
        }
      }
      if (error) problem(folder, reason(error));
    }
  }

  void add_file(const fs::directory_entry& entry) {
    std::error_code error;
    const auto size = entry.file_size(error);
    if (error) return problem(entry.path(), reason(error));
    const auto time = entry.last_write_time(error);
    if (error) return problem(entry.path(), reason(error));
    found_.files.push_back(ReportFile{.path = utf8_path(entry.path()),
                                      .size = static_cast<std::int64_t>(size),
                                      .mtime_ns = ns_since_1970(time)});
  }

  void problem(const fs::path& path, std::string why) {
    found_.problems.push_back({utf8_path(path), std::move(why)});
  }

  FoundFiles found_;
};

}  // namespace

std::string utf8_path(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

FoundFiles find_report_files(const std::vector<fs::path>& paths) {
  Finder finder;
  for (const fs::path& path : paths) finder.add(path);
  return finder.take();
}

}  // namespace qv
