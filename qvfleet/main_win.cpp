// The Windows entry point: wide arguments, so that any path can be named.
#include <string>
#include <vector>

#include "output.h"
#include "qvfleet.h"
#include "text.h"

int wmain(int argc, wchar_t* argv[]) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) {
    const std::wstring wide(argv[i]);
    arguments.push_back(qv::wide_to_text(std::u16string(wide.begin(), wide.end())));
  }
  qv::StandardStreamSink out(qv::StandardStreamSink::Stream::output);
  qv::StandardStreamSink err(qv::StandardStreamSink::Stream::error);
  return qv::run_qvfleet(arguments, {.out = out, .err = err, .err_is_terminal = err.is_terminal()});
}
