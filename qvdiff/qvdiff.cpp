#include "qvdiff.h"

#include <array>
#include <optional>
#include <thread>
#include <utility>

#include "qv_version.h"
#include "report_format.h"
#include "report_reader.h"

namespace qv {
namespace {

// Stays where it was made: the views of `report` point into `text`, a short
// one of which lives inside the string object itself.
struct Input {
  std::string text;
  ReportView report;
};

std::string located(const std::string& name, const ReportError& error) {
  return name + ", line " + std::to_string(error.line) + ": " + error.message + "\n";
}

// The input read and parsed, or the one-line message that says why not.
std::expected<void, std::string> load(const std::string& name, std::size_t index,
                                      const ReadInput& read, std::optional<Input>& input) {
  auto text = read(index);
  if (!text) return std::unexpected("Couldn't read " + name + ": " + text.error() + "\n");
  input.emplace(Input{std::move(*text), {}});
  auto report = parse_report(input->text);
  if (!report) return std::unexpected(located(name, report.error()));
  input->report = std::move(*report);
  return {};
}

}  // namespace

int run_qvdiff(std::span<const std::string> arguments, const ReadInput& read, OutputSink& out_sink,
               OutputSink& err) {
  if (arguments.size() == 1 && arguments[0] == "--version") {
    StandardOutput out(out_sink, err);
    out.write("qvdiff " + std::string(kVersion) + "\n");
    return out.failed() ? kTrouble : kSame;
  }
  if (arguments.size() != 2) {
    write_error(err, "Usage: qvdiff OLD NEW, where OLD and NEW are report files written by qv.\n");
    return kTrouble;
  }
  const std::array<std::string, 2> names = {one_line_text(arguments[0]),
                                            one_line_text(arguments[1])};
  std::array<std::optional<Input>, 2> inputs;
  std::array<std::expected<void, std::string>, 2> loaded;
  {
    // The two inputs are read and checked at once, one on each core; the first
    // that fails, in the order given, is the one told.
    const std::jthread second([&] { loaded[1] = load(names[1], 1, read, inputs[1]); });
    loaded[0] = load(names[0], 0, read, inputs[0]);
  }
  for (const auto& input : loaded) {
    if (!input) {
      write_error(err, input.error());
      return kTrouble;
    }
  }
  StandardOutput out(out_sink, err);
  const auto compared =
      compare_reports(inputs[0]->report, inputs[1]->report, [&](std::string_view bytes) {
        out.write(bytes);
        return !out.failed();
      });
  if (!compared) {
    // A section that read whole once and not again: its report is named by its line.
    write_error(err, located(names[0] + " or " + names[1], compared.error()));
    return kTrouble;
  }
  if (out.failed()) return kTrouble;
  return *compared == Comparison::same ? kSame : kDiffer;
}

}  // namespace qv
