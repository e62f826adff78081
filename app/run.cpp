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
  [[maybe_unused]] const bool ignored = err.write(text);
}

int write_report(const ScanResult& result, std::u16string_view path, OutputSink& out,
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
  // A report that was written but could not be announced is still a failed run:
  // whoever reads the output never learns of it.
  return out.write("written   " + shown_path + "\n") ? 0 : 1;
}

}  // namespace

int run(std::span<const std::u16string> arguments, const ScanFunction& scan, OutputSink& out,
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
  // When standard output fails (closed pipe, full disk) the run stops there with
  // status 1: a report is not written behind a summary nobody saw.
  if (!out.write(summary_text(result))) return 1;
  if (!path) return out.write(listing_text(result)) ? 0 : 1;
  return write_report(result, *path, out, err, files);
}

}  // namespace qv
