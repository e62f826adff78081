#include "index_command.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <thread>
#include <vector>

#include "files.h"
#include "indexer.h"
#include "read_ahead.h"
#include "report_file.h"
#include "schema.h"
#include "section_digests.h"
#include "share.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// A transaction ends after this many new reports or this long, whichever comes
// first: a run stopped at any moment loses at most that much work. Each commit
// writes again every page the transaction changed, the pages of the indexes
// on digests and ids all over the file among them: with 200 reports it took a
// third of a run.
constexpr std::size_t kBatchReports = 10000;
constexpr auto kBatchTime = std::chrono::seconds(2);
constexpr auto kRedrawEvery = std::chrono::milliseconds(200);

// The one-line progress display on a terminal: redrawn in place, cleared before
// any other message and at the end.
class Progress {
 public:
  Progress(OutputSink& err, bool shown) : err_(err), shown_(shown), start_(Clock::now()) {}

  // While the paths are searched: the files found so far.
  void found(std::size_t files) {
    if (!shown_ || !due(false)) return;
    draw("files found: " + std::to_string(files));
  }
  // The search is over: from here on, the files done of `total`.
  void start(std::size_t total) {
    total_ = total;
    start_ = Clock::now();
    drawn_ = {};
  }

  void update(std::size_t done, std::size_t indexed, bool force = false) {
    if (!shown_ || !due(force)) return;
    const auto now = drawn_;
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
  bool due(bool force) {
    const auto now = Clock::now();
    if (!force && now - drawn_ < kRedrawEvery) return false;
    drawn_ = now;
    return true;
  }
  void draw(const std::string& line) {
    if (!shown_ || (line.empty() && width_ == 0)) return;
    std::string text = "\r" + line;
    if (line.size() < width_) text.append(width_ - line.size(), ' ').append("\r" + line);
    width_ = line.size();
    write_error(err_, text);
  }

  OutputSink& err_;
  bool shown_;
  std::size_t total_ = 0;
  Clock::time_point start_;
  Clock::time_point drawn_{};
  std::size_t width_ = 0;
};

class IndexRun {
 public:
  explicit IndexRun(const IndexStreams& streams)
      : streams_(streams), progress_(streams.err, streams.err_is_terminal) {}

  // The status of the run so far; the summary counts only what the index holds.
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
  void found(std::size_t files) { progress_.found(files); }
  void start(std::size_t total) { progress_.start(total); }
  void refuse(const std::string& message) {
    ++refused_;
    ++done_;
    say(message);
  }
  void known() {
    ++known_;
    ++done_;
    update();
  }
  // Indexed in the open transaction, counted once it is committed.
  void indexed() {
    ++pending_;
    ++done_;
    update();
  }
  void committed() {
    indexed_ += pending_;
    pending_ = 0;
  }
  [[nodiscard]] std::size_t pending() const { return pending_; }

 private:
  void update(bool force = false) { progress_.update(done_, indexed_ + pending_, force); }
  void say(const std::string& message) {
    progress_.clear();
    write_error(streams_.err, message + "\n");
    update(true);
  }

  const IndexStreams& streams_;
  Progress progress_;
  std::size_t indexed_ = 0;
  std::size_t pending_ = 0;
  std::size_t known_ = 0;
  std::size_t refused_ = 0;
  std::size_t done_ = 0;
};

fs::path native_path(const std::string& utf8) {
  return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string busy(const std::string& index_name) {
  return "The index " + index_name + " is busy: another run is writing it.";
}

// The identities of the index's own files, which are never read as reports.
std::set<std::string> index_files(const std::string& index_path) {
  std::set<std::string> ids;
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
    if (const auto look = look_up(native_path(index_path + suffix), false)) {
      ids.insert(look->facts.file_id);
    }
  }
  return ids;
}

// A file as a preparing thread leaves it: its facts and its report prepared, or
// the sentence that refuses it, which the writer says in the files' order.
struct ReadFile {
  std::optional<std::string> refusal{};
  FileFacts facts{};
  std::unique_ptr<const PreparedReport> report{};
};

// The file's bytes as of one moment, and all that is made of them without the index.
ReadFile read_file(const ReportFile& found, SectionDigests& known) {
  auto open = open_file(found.path);
  if (!open) return {.refusal = refusal_text(found.path, Refusal{.reason = open.error()})};
  auto read = read_report_file(**open);
  if (!read) return {.refusal = refusal_text(found.path, read.error())};
  return {.facts = read->facts, .report = prepare_report(std::move(read->bytes), &known)};
}

// Preparing costs more than writing, so it has a thread on each core, up to
// two: more would hold more files in memory without having been shown to help.
unsigned preparing_threads() { return std::clamp(std::thread::hardware_concurrency(), 1u, 2u); }

// Reads, checks and hashes the files on threads of their own while the caller
// writes the index, and hands them over in the files' order. At most 16 files
// and 32 MiB are taken ahead of the writer, so that memory stays bounded
// whatever the share holds.
class FilesAhead {
 public:
  explicit FilesAhead(std::span<const ReportFile* const> files)
      : ahead_(files.size(), {.items = 16, .bytes = std::size_t{32} << 20}, preparing_threads(),
               {.on_thread = read_in_the_background,
                .listed =
                    [files](std::size_t i) {
                      return static_cast<std::size_t>(std::max<std::int64_t>(files[i]->size, 0));
                    },
                .make = [this, files](std::size_t i) { return read_file(*files[i], known_); },
                .bytes = [](const ReadFile& file) -> std::size_t {
                  return file.report ? file.report->bytes.size() : 0;
                }}) {}

  ReadFile next() { return ahead_.next(); }

 private:
  SectionDigests known_;
  ReadAhead<ReadFile> ahead_;  // after known_, which its threads use
};

// Indexes one file in the open transaction; false when the index failed.
bool index_file(Indexer& indexer, const ReportFile& found, const ReadFile& read, IndexRun& run,
                std::string& failure) {
  const auto known = indexer.known(found);  // again: another run may have taken it meanwhile
  if (!known) return failure = known.error(), false;
  if (*known) {
    run.known();
    return true;
  }
  if (read.refusal) {
    run.refuse(*read.refusal);
    return true;
  }
  // Size and time of the bytes read, which may be newer than the folder's listing.
  const ReportFile file{.path = found.path,
                        .size = read.facts.size,
                        .mtime_ns = read.facts.mtime_ns,
                        .file_id = read.facts.file_id};
  if (file.size != found.size || file.mtime_ns != found.mtime_ns || file.file_id != found.file_id) {
    const auto known_now = indexer.known(file);
    if (!known_now) return failure = known_now.error(), false;
    if (*known_now) {
      run.known();
      return true;
    }
  }
  const auto added = indexer.add(file, *read.report);
  if (!added) return failure = added.error(), false;
  if (*added) {
    run.refuse(one_line_text(file.path) + ", line " + std::to_string((*added)->line) + ": " +
               (*added)->message);
  } else {
    run.indexed();
  }
  return true;
}

}  // namespace

int run_index(const std::string& index_path, std::span<const std::string> paths,
              const IndexStreams& streams) {
  IndexRun run(streams);
  const std::string index_name = one_line_text(index_path);
  // Opened first, so that its files exist to be told apart from the reports.
  auto db = open_index(index_path, IndexAccess::write);
  if (!db && db.error() == kIndexBusy) return run.trouble(busy(index_name));
  if (!db) return run.trouble("Couldn't open the index " + index_name + ": " + db.error());
  auto indexer = Indexer::make(*db);
  if (!indexer)
    return run.trouble("Couldn't open the index " + index_name + ": " + indexer.error());

  std::vector<fs::path> roots;
  for (const std::string& path : paths) roots.push_back(native_path(path));
  const FoundFiles found = find_report_files(roots, index_files(index_path),
                                             [&](std::size_t files) { run.found(files); });
  run.start(found.files.size() + found.problems.size());
  for (const auto& problem : found.problems) {
    run.refuse(refusal_text(problem.path, Refusal{.reason = problem.reason}));
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
  FilesAhead ahead(unknown);
  for (std::size_t next = 0; next < unknown.size();) {
    if (auto begun = db->execute("BEGIN IMMEDIATE"); !begun) {
      return run.trouble(db->busy()
                             ? busy(index_name)
                             : "Couldn't write the index " + index_name + ": " + begun.error());
    }
    const auto started = Clock::now();
    for (; next < unknown.size(); ++next) {
      if (run.pending() >= kBatchReports || Clock::now() - started >= kBatchTime) break;
      if (!index_file(*indexer, *unknown[next], ahead.next(), run, failure)) {
        (void)db->execute("ROLLBACK");
        indexer->rolled_back();
        return run.trouble("Couldn't write the index " + index_name + ": " + failure);
      }
    }
    auto committed = indexer->write_id_lists();
    if (committed) committed = db->execute("COMMIT");
    if (!committed) {
      (void)db->execute("ROLLBACK");
      indexer->rolled_back();
      return run.trouble("Couldn't write the index " + index_name + ": " + committed.error());
    }
    indexer->committed();
    run.committed();
  }
  return run.finish();
}

}  // namespace qv
