// The native entry point: byte-string arguments, standard output through stdio.
#include <cstdio>
#include <string>
#include <vector>

#include "files.h"
#include "qvdiff.h"

namespace {

bool write_to(std::FILE* stream, std::string_view bytes) {
  return std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size() &&
         std::fflush(stream) == 0;
}

}  // namespace

int main(int argc, char* argv[]) {
  const std::vector<std::string> names(argv + 1, argv + argc);
  return qv::run_qvdiff(
      names, [&](std::size_t i) { return qv::read_whole_file(names[i]); },
      [](std::string_view bytes) { return write_to(stdout, bytes); },
      [](std::string_view bytes) { return write_to(stderr, bytes); });
}
