#include "files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

using namespace std::string_literals;

namespace qv {
namespace {

namespace fs = std::filesystem;

TEST(ReadWholeFile, BytesUnchangedOrWhyNot) {
  const fs::path folder = fs::temp_directory_path() / "qv_files_test";
  fs::remove_all(folder);
  fs::create_directories(folder);
  const fs::path path = folder / "report.txt";
  const std::string contents[] = {"", "qvdev1\r\n\0\xff\xfe end"s, std::string(200000, 'x')};
  for (const std::string& content : contents) {
    std::ofstream(path, std::ios::binary) << content;
    EXPECT_EQ(read_whole_file(path.native()), content);
  }
  EXPECT_EQ(read_whole_file(path.native(), 200000), contents[2]);  // the limit itself is taken

  const auto missing = read_whole_file((folder / "missing.txt").native());
  ASSERT_FALSE(missing.has_value());
  EXPECT_TRUE(missing.error().ends_with(". (os error 2)")) << missing.error();
  EXPECT_GT(missing.error().size(), 15u);
  // A folder: refused by the system on Windows, by the check for a file elsewhere.
  EXPECT_FALSE(read_whole_file(folder.native()).has_value());
#ifdef _WIN32
  const NativePath device = L"NUL";
#else
  const NativePath device = "/dev/zero";
#endif
  EXPECT_EQ(read_whole_file(device), std::unexpected(not_a_file_text()));
  EXPECT_EQ(read_whole_file(path.native(), 199999),
            std::unexpected("The file is too large to read (200000 bytes)."s));
  fs::remove_all(folder);
}

}  // namespace
}  // namespace qv
