#include "qvdiff.h"

#include <array>
#include <optional>
#include <utility>

#include "report_reader.h"

namespace qv {
namespace {

// Stays where it was made: the views of `report` point into `text`, a short
// one of which lives inside the string object itself.
struct Input {
  std::string text;
  ReportView report;
};

// The input read and parsed, or the one-line message that says why not.
std::expected<void, std::string> load(const std::string& name, std::size_t index,
                                      const ReadInput& read, std::optional<Input>& input) {
  auto text = read(index);
  if (!text) return std::unexpected("Couldn't read " + name + ": " + text.error() + "\n");
  input.emplace(Input{std::move(*text), {}});
  auto report = parse_report(input->text);
  if (!report) {
    const ReportError& error = report.error();
    return std::unexpected(name + ", line " + std::to_string(error.line) + ": " + error.message +
                           "\n");
  }
  input->report = std::move(*report);
  return {};
}

}  // namespace

int run_qvdiff(std::span<const std::string> names, const ReadInput& read, const TextSink& out,
               const TextSink& err) {
  if (names.size() != 2) {
    (void)err("Usage: qvdiff OLD NEW, where OLD and NEW are report files written by qv.\n");
    return kTrouble;
  }
  std::array<std::optional<Input>, 2> inputs;
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    if (auto loaded = load(names[i], i, read, inputs[i]); !loaded) {
      (void)err(loaded.error());
      return kTrouble;
    }
  }
  switch (compare_reports(inputs[0]->report, inputs[1]->report, out)) {
    case Comparison::same:
      return kSame;
    case Comparison::differ:
      return kDiffer;
    case Comparison::write_failed:
      break;
  }
  (void)err("Couldn't write the differences to standard output.\n");
  return kTrouble;
}

}  // namespace qv
