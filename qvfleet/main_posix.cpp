// The native entry point: byte-string arguments.
#include <csignal>
#include <string>
#include <vector>

#include "output.h"
#include "qvfleet.h"

int main(int argc, char* argv[]) {
  // A reader that has left shows as EPIPE, not as a signal that ends the process.
  std::signal(SIGPIPE, SIG_IGN);
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  qv::StandardStreamSink out(qv::StandardStreamSink::Stream::output);
  qv::StandardStreamSink err(qv::StandardStreamSink::Stream::error);
  return qv::run_qvfleet(arguments, {.out = out, .err = err, .err_is_terminal = err.is_terminal()});
}
