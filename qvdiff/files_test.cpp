#include "files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

using namespace std::string_literals;

namespace qv {
namespace {

namespace fs = std::filesystem;

TEST(ReadWholeFile, BytesUnchangedOrTheSystemsReason) {
  const fs::path folder = fs::temp_directory_path() / "qvdiff_files_test";
  fs::remove_all(folder);
  fs::create_directories(folder);
  const std::string contents[] = {"", "qvdev1\r\n\0\xff\xfe end"s, std::string(200000, 'x')};
  for (const std::string& content : contents) {
    const fs::path path = folder / "report.txt";
    std::ofstream(path, std::ios::binary) << content;
    EXPECT_EQ(read_whole_file(path.native()), content);
  }
  const auto missing = read_whole_file((folder / "missing.txt").native());
  ASSERT_FALSE(missing.has_value());
  EXPECT_TRUE(missing.error().ends_with(". (os error 2)")) << missing.error();
  EXPECT_GT(missing.error().size(), 15u);
  EXPECT_FALSE(read_whole_file(folder.native()).has_value());
  fs::remove_all(folder);
}

}  // namespace
}  // namespace qv
