#include "share.h"

#include <algorithm>
#include <system_error>
#include <tuple>
#include <unordered_set>

#include "database.h"
#include "files.h"
#include "report_file.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

// qv writes each report under a temporary name beside it (`.qv-*.tmp`) and
// renames it into place: such a file is a report in flight, or one a stopped
// run left behind, never one to index. Told by its name before it is looked up,
// since the rename may take it away in between.
bool qv_temporary(const fs::path& path) {
  const std::u8string name = path.filename().u8string();
  return name.starts_with(u8".qv-") && name.ends_with(u8".tmp");
}

class Finder {
 public:
  Finder(const std::set<std::string>& skipped, const std::function<void(std::size_t)>& on_found)
      : skipped_(skipped), on_found_(on_found) {}

  void add(const fs::path& given) {
    if (qv_temporary(given)) return;
    std::error_code error;
    const fs::path path = fs::absolute(given, error).lexically_normal();
    if (error) return problem(given, sentence(error.message()));
    const auto look = look_up(path, false);
    if (!look) return problem(given, look.error());
    take(*look, given);
    walk();
  }

  FoundFiles take_found() {
    // One path per file: the first in the order of paths, whatever reached it.
    std::ranges::sort(found_.files, {}, &ReportFile::path);
    std::unordered_set<std::string> seen;
    std::erase_if(found_.files,
                  [&](const ReportFile& file) { return !seen.insert(file.file_id).second; });
    // By path; ties by reason, so that the order is total and runs alike say alike.
    std::ranges::sort(found_.problems, [](const auto& a, const auto& b) {
      return std::tie(a.path, a.reason) < std::tie(b.path, b.reason);
    });
    return std::move(found_);
  }

 private:
  void take(const FileLook& look, const fs::path& shown) {
    if (skipped_.contains(look.facts.file_id)) return;
    switch (look.kind) {
      case FileLook::Kind::folder:
        // A link may lead back up the tree or to a folder seen already.
        if (folders_seen_.insert(look.facts.file_id).second) {
          folders_.push_back(fs::path(std::u8string(look.path.begin(), look.path.end())));
        }
        return;
      case FileLook::Kind::file:
        found_.files.push_back(ReportFile{.path = look.path,
                                          .size = look.facts.size,
                                          .mtime_ns = look.facts.mtime_ns,
                                          .file_id = look.facts.file_id});
        if (on_found_) on_found_(found_.files.size());
        return;
      case FileLook::Kind::other:
        return problem(shown, not_a_file_text());
    }
  }

  // Walked by hand, so that a folder that can't be read is said and the others
  // are still searched.
  void walk() {
    while (!folders_.empty()) {
      const fs::path folder = std::move(folders_.back());
      folders_.pop_back();
      const auto entries = folder_entries(folder);
      if (!entries) {
        problem(folder, entries.error());
        continue;
      }
      for (const fs::path& entry : *entries) {
        if (qv_temporary(entry)) continue;
        const auto look = look_up(entry, true);
        if (look) {
          take(*look, entry);
        } else {
          problem(entry, look.error());
        }
      }
    }
  }

  void problem(const fs::path& path, std::string why) {
    found_.problems.push_back({utf8_path(path), std::move(why)});
  }

  const std::set<std::string>& skipped_;
  const std::function<void(std::size_t)>& on_found_;
  std::vector<fs::path> folders_;
  std::unordered_set<std::string> folders_seen_;
  FoundFiles found_;
};

}  // namespace

FoundFiles find_report_files(const std::vector<fs::path>& paths,
                             const std::set<std::string>& skipped,
                             const std::function<void(std::size_t)>& on_found) {
  Finder finder(skipped, on_found);
  for (const fs::path& path : paths) finder.add(path);
  return finder.take_found();
}

}  // namespace qv
