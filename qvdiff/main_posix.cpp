// The native entry point: byte-string arguments.
#include <csignal>
#include <string>
#include <vector>

#include "files.h"
#include "output.h"
#include "qvdiff.h"

int main(int argc, char* argv[]) {
  // A reader that has left shows as EPIPE, a write failure like any other, and
  // not as a signal that ends the process.
  std::signal(SIGPIPE, SIG_IGN);
  const std::vector<std::string> names(argv + 1, argv + argc);
  qv::StandardStreamSink out(qv::StandardStreamSink::Stream::output);
  qv::StandardStreamSink err(qv::StandardStreamSink::Stream::error);
  return qv::run_qvdiff(
      names, [&](std::size_t i) { return qv::read_whole_file(names[i]); }, out, err);
}
