// qvfleet_check FOLDER...: checks every fleet index under the folders as
// index_check.h says, for the shell and browser tests at their end. Prints each fault
// with its index's path and exits 1 when any is found, else prints how many
// indexes it checked.
#include <cstdio>
#include <filesystem>
#include <string>

#include "index_check.h"

int main(int argc, char** argv) {
  std::size_t checked = 0;
  std::size_t faults = 0;
  for (int i = 1; i < argc; ++i) {
    for (const std::filesystem::path& index : qv::fleet_indexes_under(argv[i])) {
      ++checked;
      for (const std::string& fault : qv::index_file_faults(index)) {
        ++faults;
        std::printf("%s: %s\n", index.c_str(), fault.c_str());
      }
    }
  }
  if (faults == 0) std::printf("%zu fleet indexes sound\n", checked);
  return faults == 0 ? 0 : 1;
}
