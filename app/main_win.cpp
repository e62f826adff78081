// The Windows entry point: wide arguments in, exit status out.
#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

#include "io_win.h"
#include "report_file_writer.h"
#include "run.h"
#include "scan.h"

int wmain(int argc, wchar_t* argv[]) {
  // Only the program name and the report path are taken; the rest stay unread.
  std::vector<std::u16string> arguments;
  for (int i = 0; i < std::min(argc, 2); ++i) {
    const wchar_t* argument = argv[i];
    arguments.emplace_back(argument, argument + std::wcslen(argument));
  }
  qv::StandardStreamSink out(qv::StandardStreamSink::Stream::output);
  qv::StandardStreamSink err(qv::StandardStreamSink::Stream::error);
  qv::FileReportWriter files;
  return qv::run(arguments, qv::scan, out, err, files);
}
