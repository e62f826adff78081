// Writes the reader's test reports into FOLDER, which must exist: refused-N.txt,
// which qvdiff must refuse, and accepted-N.txt, which it must read.
//   report_cases FOLDER
#include <cstdio>
#include <fstream>
#include <string>

#include "report_cases.h"

namespace {

bool write_file(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::fputs("Usage: report_cases FOLDER\n", stderr);
    return 2;
  }
  const std::string folder = argv[1];
  int number = 0;
  for (const qv::RefusedReport& report : qv::refused_reports()) {
    if (!write_file(folder + "/refused-" + std::to_string(++number) + ".txt", report.text)) {
      std::fputs("Couldn't write a report in the folder.\n", stderr);
      return 1;
    }
  }
  number = 0;
  for (const std::string& text : qv::accepted_reports()) {
    if (!write_file(folder + "/accepted-" + std::to_string(++number) + ".txt", text)) {
      std::fputs("Couldn't write a report in the folder.\n", stderr);
      return 1;
    }
  }
  return 0;
}
