#include "files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <expected>
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

// The common read loop, fed a file that gives its bytes a few at a time and may
// fail at one read: what a file holds whatever the size it was said to have,
// or the reason it was not read, never part of its bytes.
TEST(ReadAll, TheWholeFileOrWhyNot) {
  const std::string ten = "0123456789";
  const struct {
    const char* name;
    std::uint64_t said_size;
    std::string content;
    int failing_read = 0;  // 1-based, 0 for none
    std::expected<std::string, std::string> read;
  } cases[] = {
      {"as said", 10, ten, 0, ten},
      {"empty", 0, "", 0, ""},
      {"one byte", 1, "x", 0, "x"},
      {"shorter than said", 10, "01234", 0, "01234"},
      {"longer than said", 4, ten, 0, ten},
      {"grown to the limit", 1, ten + "ab", 0, ten + "ab"},
      {"grown past the limit", 4, ten + "abc", 0, std::unexpected(too_large_text(13))},
      {"said to be past the limit", 13, ten, 0, std::unexpected(too_large_text(13))},
      {"a read fails in the middle", 10, ten, 2, std::unexpected("Broken pipe.")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::size_t at = 0;
    int reads = 0;
    const ReadSome read_some =
        [&](char* room, std::size_t room_size) -> std::expected<std::size_t, std::string> {
      if (++reads == c.failing_read) return std::unexpected("Broken pipe.");
      const std::size_t got = std::min({room_size, c.content.size() - at, std::size_t{3}});
      c.content.copy(room, got, at);
      at += got;
      return got;
    };
    EXPECT_EQ(read_all(c.said_size, 12, read_some), c.read);
  }
}

}  // namespace
}  // namespace qv
