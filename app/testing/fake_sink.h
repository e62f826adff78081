// A standard stream for tests: keeps what it takes and answers each write as
// told, so that a test can make the third write fail or find no stream at all.
//
//   FakeSink out({WriteOutcome{}, failure(112, "Disk full.")});
//   out.write("a");  // taken: out.text == "a"
//   out.write("b");  // failed, and not kept
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "output.h"

namespace qv {

class FakeSink final : public OutputSink {
 public:
  // Write i gets answers[i]; every write after them is taken.
  explicit FakeSink(std::vector<WriteOutcome> answers = {}) : answers_(std::move(answers)) {}
  WriteOutcome write(std::string_view bytes) override {
    const std::size_t index = writes++;
    const WriteOutcome answer = index < answers_.size() ? answers_[index] : WriteOutcome{};
    if (answer.kind == WriteOutcome::Kind::written) text += bytes;
    return answer;
  }
  std::string text;        // every byte taken, in order
  std::size_t writes = 0;  // every call, taken or not

 private:
  std::vector<WriteOutcome> answers_;
};

// A failed write as a system would answer it.
inline WriteOutcome failure(std::uint32_t code, const std::string& message) {
  return {.kind = WriteOutcome::Kind::failed,
          .code = code,
          .text = message + " (os error " + std::to_string(code) + ")"};
}

inline WriteOutcome reader_left(std::uint32_t code) {
  return {.kind = WriteOutcome::Kind::reader_left, .code = code};
}

inline const WriteOutcome kAbsent{.kind = WriteOutcome::Kind::absent};

}  // namespace qv
