// Standard output and standard error as the programs use them: an OutputSink is
// one stream, and StandardOutput keeps the rules every program follows for its
// standard output.
//
//   StandardStreamSink out_sink(StandardStreamSink::Stream::output);
//   StandardStreamSink err(StandardStreamSink::Stream::error);
//   StandardOutput out(out_sink, err);
//   out.write("host      PC\n");
//   if (out.failed()) ...  // already said on standard error, or the reader left
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qv {

// What became of one write to a standard stream.
struct WriteOutcome {
  enum class Kind {
    written,      // every byte taken
    failed,       // the stream took some or none of the bytes
    reader_left,  // a pipe whose reader has closed its end (`qv | more` quit early)
    absent,       // the process has no such stream; the bytes are dropped
  };
  Kind kind = Kind::written;
  std::uint32_t code = 0;  // failed, reader_left: the system's error code
  std::string text{};      // failed: its message and code, as the "Couldn't write" lines show it
};

// Standard output or standard error.
class OutputSink {
 public:
  virtual ~OutputSink() = default;
  [[nodiscard]] virtual WriteOutcome write(std::string_view bytes) = 0;
};

// Standard error carries only failures, which already decide the exit status;
// when it can't be written there is nowhere left to say so, so what becomes of
// the write is not looked at.
void write_error(OutputSink& err, std::string_view text);

// Standard output with its rules. After its first failure nothing more is sent
// to it (later bytes would arrive with a gap before them), and the failure is
// said once on standard error, at the moment it happens, as
// "Couldn't write standard output: {message} (os error N)"; a reader that has
// left is not worth a message. A process without the stream is no failure.
class StandardOutput {
 public:
  StandardOutput(OutputSink& out, OutputSink& err) : out_(out), err_(err) {}

  void write(std::string_view bytes);
  [[nodiscard]] bool failed() const { return failed_; }

 private:
  OutputSink& out_;
  OutputSink& err_;
  bool failed_ = false;
};

// A process's standard output or standard error: on Windows through the
// console's wide-character API when the stream is a console, else the UTF-8
// bytes unchanged (file or pipe).
class StandardStreamSink final : public OutputSink {
 public:
  enum class Stream { output, error };
  explicit StandardStreamSink(Stream stream);
  [[nodiscard]] WriteOutcome write(std::string_view bytes) override;
  // A console or terminal, where a line may be redrawn in place.
  [[nodiscard]] bool is_terminal() const;

 private:
#ifdef _WIN32
  void* handle_ = nullptr;  // not owned; null or INVALID_HANDLE_VALUE when absent
  bool console_ = false;
#else
  int descriptor_ = -1;  // 1 or 2, or -1 when absent
#endif
};

}  // namespace qv
