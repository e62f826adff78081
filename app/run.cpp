#include "run.h"

#include <optional>
#include <utility>

#include "console.h"
#include "report.h"
#include "report_format.h"
#include "text.h"

namespace qv {
namespace {

// The status of the report write alone; standard output's part is added by the caller.
int write_report(const ScanResult& result, std::u16string_view path, StandardOutput& out,
                 OutputSink& err, ReportWriter& files) {
  std::expected<void, std::string> written;
  {
    const std::string report = serialize_report(result);
    written = files.write_file(path, report);
  }  // the buffer goes before anything else is printed
  // A pipe's name, or a path under Wine, may hold a line feed: shown as a space,
  // so that every message stays one line.
  const std::string shown_path = one_line_text(wide_to_text(path));
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
