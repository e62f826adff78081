// The Windows entry point: wide arguments, so that any path can be named.
#include <string>
#include <vector>

#include "files.h"
#include "output.h"
#include "qvdiff.h"
#include "text.h"

int wmain(int argc, wchar_t* argv[]) {
  std::vector<std::wstring> paths;
  std::vector<std::string> names;  // UTF-8, for messages
  for (int i = 1; i < argc; ++i) {
    paths.emplace_back(argv[i]);
    const std::u16string units(paths.back().begin(), paths.back().end());
    names.push_back(qv::wide_to_text(units));
  }
  qv::StandardStreamSink out(qv::StandardStreamSink::Stream::output);
  qv::StandardStreamSink err(qv::StandardStreamSink::Stream::error);
  return qv::run_qvdiff(
      names, [&](std::size_t i) { return qv::read_whole_file(paths[i]); }, out, err);
}
