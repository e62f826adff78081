#include "index_command.h"

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "files.h"
#include "indexer.h"
#include "report_format.h"
#include "schema.h"
#include "share.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// A transaction ends after this many new reports or this long, whichever comes
// first: a run stopped at any moment loses at most that much work.
constexpr std::size_t kBatchReports = 200;
constexpr auto kBatchTime = std::chrono::seconds(2);
constexpr auto kRedrawEvery = std::chrono::milliseconds(200);

// The one-line progress display on a terminal: redrawn in place, cleared before
// any other message and at the end.
class Progress {
 public:
  Progress(OutputSink& err, bool shown, std::size_t total)
      : err_(err), shown_(shown), total_(total), start_(Clock::now()) {}

  void update(std::size_t done, std::size_t indexed, bool force = false) {
    if (!shown_) return;
    const auto now = Clock::now();
    if (!force && now - drawn_ < kRedrawEvery) return;
    drawn_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    const auto whole = static_cast<long>(seconds);
    char line[128];
    std::snprintf(line, sizeof line, "%zu of %zu files, %.0f reports/s, %ld:%02ld", done, total_,
                  seconds > 0 ? static_cast<double>(indexed) / seconds : 0.0, whole / 60,
                  whole % 60);
    draw(line);
  }
  void clear() { draw(""); }

 private:
  void draw(const std::string& line) {
    if (!shown_ || (line.empty() && width_ == 0)) return;
    std::string text = "\r" + line;
    if (line.size() < width_) text.append(width_ - line.size(), ' ').append("\r" + line);
    width_ = line.size();
    write_error(err_, text);
  }

  OutputSink& err_;
  bool shown_;
  std::size_t total_;
  Clock::time_point start_;
  Clock::time_point drawn_{};
  std::size_t width_ = 0;
};

class IndexRun {
 public:
  IndexRun(const FleetStreams& streams, std::size_t total)
      : streams_(streams), progress_(streams.err, streams.err_is_terminal, total) {}

  // The status of the run so far.
  int finish() {
    progress_.clear();
    StandardOutput out(streams_.out, streams_.err);
    out.write(std::to_string(indexed_) + " indexed, " + std::to_string(known_) +
              " already known, " + std::to_string(refused_) + " refused\n");
    if (out.failed()) return 2;
    return refused_ > 0 ? 1 : 0;
  }
  int trouble(const std::string& message) {
    say(message);
    (void)finish();
    return 2;
  }
  void refuse(const std::string& message) {
    ++refused_;
    ++done_;
    say(message);
  }
  void known() {
    ++known_;
    ++done_;
    progress_.update(done_, indexed_);
  }
  void indexed() {
    ++indexed_;
    ++done_;
    progress_.update(done_, indexed_);
  }
  [[nodiscard]] std::size_t indexed_count() const { return indexed_; }

 private:
  void say(const std::string& message) {
    progress_.clear();
    write_error(streams_.err, message + "\n");
    progress_.update(done_, indexed_, true);
  }

  const FleetStreams& streams_;
  Progress progress_;
  std::size_t indexed_ = 0;
  std::size_t known_ = 0;
  std::size_t refused_ = 0;
  std::size_t done_ = 0;
};

fs::path native_path(const std::string& utf8) {
  return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string shown(const std::string& path) { return one_line_text(path); }

std::string busy(const std::string& index_name) {
  return "The index " + index_name + " is busy: another run is writing it.";
}

// Indexes one file in the open transaction; false when the index failed.
bool index_file(Indexer& indexer, const ReportFile& file, IndexRun& run, std::string& failure) {
  const auto known = indexer.known(file);  // again: another run may have taken it meanwhile
  if (!known) return failure = known.error(), false;
  if (*known) {
    run.known();
    return true;
  }
  const auto bytes = read_whole_file(native_path(file.path).native());
  if (!bytes) {
    run.refuse("Couldn't read " + shown(file.path) + ": " + bytes.error());
    return true;
  }
  const auto added = indexer.add(file, *bytes);
  if (!added) return failure = added.error(), false;
  if (*added) {
    run.refuse(shown(file.path) + ", line " + std::to_string((*added)->line) + ": " +
               (*added)->message);
  } else {
    run.indexed();
  }
  return true;
}

}  // namespace

int run_index(const std::string& index_path, std::span<const std::string> paths,
              const FleetStreams& streams) {
  std::vector<fs::path> roots;
  for (const std::string& path : paths) roots.push_back(native_path(path));
  const FoundFiles found = find_report_files(roots);
  IndexRun run(streams, found.files.size() + found.problems.size());
  const std::string index_name = shown(index_path);
  auto db = open_index(index_path, IndexAccess::write);
  if (!db && db.error() == kIndexBusy) return run.trouble(busy(index_name));
  if (!db) return run.trouble("Couldn't open the index " + index_name + ": " + db.error());
  auto indexer = Indexer::make(*db);
  if (!indexer) return run.trouble("Couldn't open the index " + index_name + ": " + indexer.error());
  for (const auto& problem : found.problems) {
    run.refuse("Couldn't read " + shown(problem.path) + ": " + problem.reason);
  }

  // Files known already cost one lookup each and no transaction.
  std::vector<const ReportFile*> unknown;
  for (const ReportFile& file : found.files) {
    const auto known = indexer->known(file);
    if (!known) return run.trouble("Couldn't read the index " + index_name + ": " + known.error());
    if (*known) {
      run.known();
    } else {
      unknown.push_back(&file);
    }
  }

  std::string failure;
  for (std::size_t next = 0; next < unknown.size();) {
    if (auto begun = db->execute("BEGIN IMMEDIATE"); !begun) {
      return run.trouble(db->busy() ? busy(index_name)
                                    : "Couldn't write the index " + index_name + ": " + begun.error());
    }
    const auto started = Clock::now();
    const std::size_t before = run.indexed_count();
    for (; next < unknown.size(); ++next) {
      if (run.indexed_count() - before >= kBatchReports || Clock::now() - started >= kBatchTime) {
        break;
      }
      if (!index_file(*indexer, *unknown[next], run, failure)) {
        (void)db->execute("ROLLBACK");
        return run.trouble("Couldn't write the index " + index_name + ": " + failure);
      }
    }
    if (auto committed = db->execute("COMMIT"); !committed) {
      (void)db->execute("ROLLBACK");
      return run.trouble("Couldn't write the index " + index_name + ": " + committed.error());
    }
  }
  return run.finish();
}

}  // namespace qv
