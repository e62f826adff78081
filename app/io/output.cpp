#include "output.h"

namespace qv {

void write_error(OutputSink& err, std::string_view text) {
  [[maybe_unused]] const WriteOutcome ignored = err.write(text);
}

void StandardOutput::write(std::string_view bytes) {
  if (failed_) return;
  const WriteOutcome outcome = out_.write(bytes);
  switch (outcome.kind) {
    case WriteOutcome::Kind::written:
    case WriteOutcome::Kind::absent:
      return;
    case WriteOutcome::Kind::reader_left:
      failed_ = true;
      return;
    case WriteOutcome::Kind::failed:
      failed_ = true;
      write_error(err_, "Couldn't write standard output: " + outcome.text + "\n");
      return;
  }
}

}  // namespace qv
