#include "export.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "schema.h"
#include "test_folder.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

class ExportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = test_folder("qvfleet_export_test");
    fs::remove_all(folder_);
    auto opened = open_memory_index();
    ASSERT_TRUE(opened) << opened.error();
    db_ = std::make_unique<Database>(std::move(*opened));
  }
  void TearDown() override { fs::remove_all(folder_); }

  void add_host(std::string_view name) {
    auto insert = db_->prepare("INSERT INTO host (name) VALUES (?1)");
    ASSERT_TRUE(insert) << insert.error();
    insert->bind(1, name);
    ASSERT_TRUE(insert->run());
  }

  fs::path folder_;
  std::unique_ptr<Database> db_;
};

// Each value arrives in PostgreSQL as the index holds it, or as U+FFFD for what
// PostgreSQL's text can't hold; psql's \copy never meets a line that is only "\.".
TEST_F(ExportTest, TextIsWrittenExactlyAndAlwaysLoads) {
  const struct {
    std::string value;
    std::string field;
  } cases[] = {
      {"PC-1", "PC-1"},
      {"", R"("")"},
      {"a,b", R"("a,b")"},
      {R"(say "hi")", R"("say ""hi""")"},
      {"tab\there", "tab\there"},
      {"cr\rlf\n", "\"cr\rlf\n\""},
      {"line\n\\.\nend", "\"line\n\"\\\".\nend\""},
      {"crlf\r\n\\.\r\n", "\"crlf\r\n\"\\\".\r\n\""},
      {"\\.", R"("\.")"},
      {"back\\slash", "back\\slash"},
      {"=1+2", "=1+2"},
      {"Z\xC3\xBCrich \xE2\x82\xAC", "Z\xC3\xBCrich \xE2\x82\xAC"},
      {"caf\xE9", "caf\xEF\xBF\xBD"},
      {"cut \xE2\x82", "cut \xEF\xBF\xBD\xEF\xBF\xBD"},
      {"nul\0byte"s,
       "nul\xEF\xBF\xBD"
       "byte"},
      {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // a surrogate is not UTF-8
  };
  std::string expected = "host_id,name\r\n";
  int id = 0;
  for (const auto& one : cases) {
    add_host(one.value);
    expected += std::to_string(++id) + "," + one.field + "\r\n";
  }
  const auto exported = export_index(*db_, folder_);
  ASSERT_TRUE(exported) << exported.error();
  EXPECT_EQ(file_bytes(folder_ / "host.csv"), expected);
}

// A null is an unquoted empty field, an empty text "" and a blob \x and hexadecimal.
TEST_F(ExportTest, NullEmptyTextAndBlobAreTold) {
  ASSERT_TRUE(db_->execute(
      "INSERT INTO driver VALUES (1, X'00FF7a', NULL, '', 'net.inf', NULL, '1.0', 1, 0, 0, 0)"));
  const auto exported = export_index(*db_, folder_);
  ASSERT_TRUE(exported) << exported.error();
  EXPECT_EQ(file_bytes(folder_ / "driver.csv"),
            "driver_id,key,provider,description,inf,date,version,v1,v2,v3,v4\r\n"
            "1,\\x00ff7a,,\"\",net.inf,,1.0,1,0,0,0\r\n");
}

// A second export replaces the first whole and leaves no temporary file.
TEST_F(ExportTest, EveryTableIsLoadedAndReplacedWhole) {
  add_host("old");
  ASSERT_TRUE(export_index(*db_, folder_));
  ASSERT_TRUE(db_->execute("UPDATE host SET name = 'new'"));
  ASSERT_TRUE(export_index(*db_, folder_));
  EXPECT_EQ(file_bytes(folder_ / "host.csv"), "host_id,name\r\n1,new\r\n");
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder_)) {
    names.push_back(entry.path().filename().string());
  }
  std::ranges::sort(names);
  EXPECT_EQ(names, (std::vector<std::string>{"device_id.csv", "device_state.csv", "driver.csv",
                                             "host.csv", "load.sql", "repeated_device.csv",
                                             "report.csv", "report_device.csv", "report_driver.csv",
                                             "schema.sql", "snapshot.csv"}));
  std::string load;
  for (const std::string_view table : exported_tables()) {
    load += "\\copy " + std::string(table) + " FROM '" + std::string(table) +
            ".csv' WITH (FORMAT csv, HEADER true)\n";
  }
  EXPECT_EQ(file_bytes(folder_ / "load.sql"), load);
  EXPECT_EQ(exported_tables().size(), 9u);
}

// A file that can't be written fails the export with its name and the system's
// reason, and takes the old load.sql with it: no folder holds load.sql beside a
// part of an export.
TEST_F(ExportTest, AFailureLeavesNoLoadSql) {
  add_host("PC-1");
  ASSERT_TRUE(export_index(*db_, folder_));
  for (const std::string_view table : {"host", "snapshot", "repeated_device"}) {
    SCOPED_TRACE(table);
    const fs::path file = folder_ / (std::string(table) + ".csv");
    // A folder in the file's place: no system puts a file there.
    fs::remove(file);
    fs::create_directory(file);
    const auto exported = export_index(*db_, folder_);
    ASSERT_FALSE(exported);
    EXPECT_TRUE(exported.error().starts_with("Couldn't write " + file.string() + ": "))
        << exported.error();
    EXPECT_EQ(exported.error().find('\n'), std::string::npos);
    EXPECT_FALSE(fs::exists(folder_ / "load.sql"));
    EXPECT_TRUE(fs::exists(folder_ / "schema.sql"));  // the rest of the old export stays
    fs::remove(file);
  }
  ASSERT_TRUE(export_index(*db_, folder_));
  EXPECT_TRUE(fs::exists(folder_ / "load.sql"));
}

TEST_F(ExportTest, AFolderThatCantBeMadeIsSaid) {
  const fs::path file = folder_ / "mine.txt";
  fs::create_directories(folder_);
  std::ofstream(file) << "x";
  const auto exported = export_index(*db_, file / "a\nb");
  ASSERT_FALSE(exported);
  const std::string shown = (file / "a b").string();
  EXPECT_TRUE(exported.error().starts_with("Couldn't make the folder " + shown + ": "))
      << exported.error();
  EXPECT_TRUE(exported.error().ends_with(")")) << exported.error();  // the system's (os error N)
}

}  // namespace
}  // namespace qv
