#include "run.h"

#include <optional>
#include <utility>

#include "console.h"
#include "report.h"
#include "text.h"

namespace qv {
namespace {

// Standard error carries only failures, and the status is already 1 whenever
// something is written there; if standard error itself cannot be written there
// is nowhere left to say so, so its write result is deliberately ignored.
void write_error(OutputSink& err, std::string_view text) {
  [[maybe_unused]] const WriteOutcome ignored = err.write(text);
}

// The reader has closed its end of the pipe (`qv | more` quit early): the usual
// end of a piped run, so it is not worth a message. Windows gives 232 or 109;
// Wine gives 233 for the same event.
bool reader_has_left(std::uint32_t code) {
  constexpr std::uint32_t kBrokenPipe = 109;
  constexpr std::uint32_t kNoData = 232;
  constexpr std::uint32_t kPipeNotConnected = 233;
  return code == kBrokenPipe || code == kNoData || code == kPipeNotConnected;
}

// Standard output as the run uses it. After its first failure nothing more is
// sent to it (later bytes would arrive with a gap before them), and the failure
// is told on standard error once, at the moment it happens.
class StandardOutput {
 public:
  StandardOutput(OutputSink& out, OutputSink& err) : out_(out), err_(err) {}

  void write(std::string_view bytes) {
    if (failed_) return;
    const WriteOutcome outcome = out_.write(bytes);
    if (outcome.kind != WriteOutcome::Kind::failed) return;
    failed_ = true;
    if (!reader_has_left(outcome.code)) {
      write_error(err_, "Couldn't write standard output: " + outcome.text + "\n");
    }
  }
  [[nodiscard]] bool failed() const { return failed_; }

 private:
  OutputSink& out_;
  OutputSink& err_;
  bool failed_ = false;
};

// The status of the report write alone; standard output's part is added by the caller.
int write_report(const ScanResult& result, std::u16string_view path, StandardOutput& out,
                 OutputSink& err, ReportWriter& files) {
  std::expected<void, std::string> written;
  {
    const std::string report = serialize_report(result);
    written = files.write_file(path, report);
  }  // the buffer goes before anything else is printed
  const std::string shown_path = wide_to_text(path);
  if (!written) {
    write_error(err, "Couldn't write " + shown_path + ": " + written.error() + "\n");
    return 1;
  }
  out.write("written   " + shown_path + "\n");
  return 0;
}

}  // namespace

int run(std::span<const std::u16string> arguments, const ScanFunction& scan, OutputSink& out_sink,
        OutputSink& err, ReportWriter& files) {
  // The program name and anything after the path are never looked at.
  std::optional<std::u16string_view> path;
  if (arguments.size() >= 2) path = arguments[1];

  const ScanOutcome outcome = scan();
  if (!outcome) {
    write_error(err, render_scan_error(outcome.error()));
    return 1;
  }
  const ScanResult& result = *outcome;
  StandardOutput out(out_sink, err);
  out.write(summary_text(result));
  // In report mode the report is the job: it is written whatever became of the
  // summary, and a failed standard output still ends with status 1.
  int status = 0;
  if (path) {
    status = write_report(result, *path, out, err, files);
  } else {
    out.write(listing_text(result));
  }
  return out.failed() ? 1 : status;
}

}  // namespace qv
