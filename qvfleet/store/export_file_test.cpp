#include "export_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "test_folder.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

// The new file's names come from these bits in turn; a name someone planted a
// file or a link at is passed over and what is there is left as it was.
class ExportFileTest : public ::testing::Test {
 protected:
  NameBits bits(std::vector<std::uint64_t> values) {
    return
        [values, next = std::size_t{0}]() mutable -> std::expected<std::uint64_t, std::uint32_t> {
          return values[std::min(next++, values.size() - 1)];
        };
  }
  // The name that `value` gives beside `file`, found by making it once.
  fs::path name_of(const fs::path& file, std::uint64_t value) {
    auto made = ExportFile::create(file, LinkAt::followed, bits({value}));
    EXPECT_TRUE(made) << made.error();
    return made ? made->temporary() : fs::path();
  }
  // A link at `at` to `target`; false where no link can be made (Wine).
  static bool plant_link(const fs::path& target, const fs::path& at) {
    std::error_code error;
    fs::create_symlink(target, at, error);
    return !error;
  }

  TestFolder folder_{"qvfleet_export_file"};
  const fs::path root_ = folder_.path();
};

TEST_F(ExportFileTest, PassesOverWhatIsPlantedAtItsNames) {
  const fs::path victim = root_ / "fleet.db";
  std::ofstream(victim) << "the index";
  const fs::path page = root_ / "fleet.html";
  const fs::path first = name_of(page, 1);
  const fs::path second = name_of(page, 3);
  EXPECT_EQ(first.parent_path(), root_);
  EXPECT_NE(first, second);
  EXPECT_FALSE(fs::exists(first));  // an unfinished file leaves nothing behind
  std::ofstream(first) << "planted";
  const bool linked = plant_link(victim, second);
  if (!linked) std::ofstream(second) << "planted";

  auto file = ExportFile::create(page, LinkAt::followed, bits({1, 3, 2}));
  ASSERT_TRUE(file) << file.error();
  ASSERT_TRUE(file->write("the page"));
  ASSERT_TRUE(file->finish());
  EXPECT_EQ(file_bytes(page), "the page");
  EXPECT_EQ(file_bytes(victim), "the index");
  EXPECT_EQ(file_bytes(first), "planted");
  EXPECT_EQ(fs::is_symlink(second), linked);

  // Every name taken: the system's reason, and nothing touched.
  auto none = ExportFile::create(page, LinkAt::followed, bits({1}));
  ASSERT_FALSE(none);
  EXPECT_TRUE(none.error().ends_with(")")) << none.error();
  EXPECT_EQ(file_bytes(page), "the page");
  EXPECT_EQ(file_bytes(victim), "the index");
}

// The file a link names is replaced, missing or not, and the link stays a link.
TEST_F(ExportFileTest, ReplacesTheFileALinkNames) {
  fs::create_directories(root_ / "pages");
  std::ofstream(root_ / "pages" / "old.html") << "yesterday";
  for (const std::string name : {"old.html", "new.html"}) {
    SCOPED_TRACE(name);
    const fs::path link = root_ / ("link-" + name);
    if (!plant_link(fs::path("pages") / name, link)) GTEST_SKIP() << "no link can be made here";
    auto file = ExportFile::create(link);
    ASSERT_TRUE(file) << file.error();
    EXPECT_EQ(file->temporary().parent_path(), root_ / "pages");
    ASSERT_TRUE(file->write("today"));
    ASSERT_TRUE(file->finish());
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(file_bytes(root_ / "pages" / name), "today");
  }
}

}  // namespace
}  // namespace qv
