#include "schema.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "changes.h"
#include "id_lists.h"
#include "indexer.h"
#include "report.h"
#include "report_diff.h"
#include "report_reader.h"
#include "test_folder.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

void write_file(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string rows(Database& db, const std::string& sql) {
  auto statement = db.prepare(sql);
  EXPECT_TRUE(statement) << sql;
  if (!statement) return "";
  std::string text;
  while (statement->step().value_or(false)) {
    for (int i = 0; i < statement->column_count(); ++i) {
      if (i > 0) text += '|';
      text += statement->text(i);
    }
    text += "\n";
  }
  return text;
}

// The files of a folder and their bytes; a shared-memory file, which SQLite
// remakes at will, by its name alone.
std::map<std::string, std::string> files_of(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    files[name] = name.ends_with("-shm") ? "" : file_bytes(entry.path());
  }
  return files;
}

// A refused file stays byte for byte as it was, and so does the log of writes
// beside it, whether it was opened to write or to read.
TEST(OpenIndex, RefusesWhatIsNoIndexOfThisVersionUntouched) {
  const std::string not_ours = "It is an SQLite database, but not a fleet index.";
  const std::string mark = "PRAGMA application_id = " + std::to_string(kApplicationId) + ";";
  const struct {
    const char* what;
    std::string sql;  // made with SQLite; none: a text file
    std::string error;
  } cases[] = {
      {"another program's database", "CREATE TABLE t (a); INSERT INTO t VALUES (1);", not_ours},
      {"another program's, in WAL mode",
       "PRAGMA journal_mode = WAL; CREATE TABLE t (a); INSERT INTO t VALUES (1);", not_ours},
      {"another program's mark", "PRAGMA application_id = 7; CREATE TABLE t (a);", not_ours},
      {"an empty database with a version", "PRAGMA user_version = 5;", not_ours},
      {"a newer index", index_schema() + mark + "PRAGMA user_version = 5;",
       "It is a fleet index of version 5, which this program does not know: it reads version 4."},
      {"a text file", "", "File is not a database."},
  };
  for (const auto& c : cases) {
    const TestFolder folder("qvfleet_schema_refused");
    const fs::path path = folder.path() / "other.db";
    if (c.sql.empty()) {
      write_file(path, "not a database, but long enough to be taken for one by its size\n");
    } else {
      auto made = Database::open(path.string(), Database::Mode::read_write);
      ASSERT_TRUE(made && made->execute(c.sql)) << c.what;
      made->keep_log_on_close(true);  // as a program that stopped before it closed
    }
    const auto before = files_of(folder.path());
    for (const IndexAccess access : {IndexAccess::write, IndexAccess::read}) {
      const auto opened = open_index(path.string(), access);
      ASSERT_FALSE(opened) << c.what;
      EXPECT_EQ(opened.error(), c.error) << c.what;
      EXPECT_EQ(files_of(folder.path()), before) << c.what;
    }
  }
}

// A new or empty file becomes an index in WAL mode, which a reader opens too.
TEST(OpenIndex, MakesAnIndexInWalMode) {
  const TestFolder folder("qvfleet_schema_wal");
  write_file(folder.path() / "empty.db", "");
  for (const char* name : {"new.db", "empty.db"}) {
    const std::string path = (folder.path() / name).string();
    {
      auto db = open_index(path, IndexAccess::write);
      ASSERT_TRUE(db) << db.error();
      EXPECT_EQ(rows(*db, "PRAGMA journal_mode"), "wal\n");
      EXPECT_EQ(rows(*db, "PRAGMA user_version"), "4\n");
    }
    const std::string header = file_bytes(path).substr(18, 2);
    EXPECT_EQ(header, std::string("\x02\x02")) << name;  // WAL for reading and writing
    auto reader = open_index(path, IndexAccess::read);
    ASSERT_TRUE(reader) << reader.error();
    EXPECT_EQ(rows(*reader, "SELECT count(*) FROM repeated_device"), "0\n");
  }
}

// One row per value, whatever its ASCII case, with each state once, in the
// key's order; a write takes what was added since the last.
TEST(IdLists, WritesOneRowPerValueWhateverItsCase) {
  auto db = open_memory_index();
  ASSERT_TRUE(db) << db.error();
  auto insert = db->prepare(IdLists::kInsert);
  ASSERT_TRUE(insert) << insert.error();
  IdLists lists;
  for (const auto& [value, state] : std::initializer_list<std::pair<const char*, int>>{
           {"PCI\\A", 1}, {"pci\\a", 2}, {"PCI\\A", 2}, {"USB\\Z", 2}, {"b", 3}}) {
    lists.add(value, state);
  }
  ASSERT_TRUE(lists.write(*insert));
  lists.add("Pci\\a", 4);
  ASSERT_TRUE(lists.write(*insert));
  ASSERT_TRUE(lists.write(*insert));
  EXPECT_EQ(rows(*db, "SELECT * FROM device_id_states"),
            "b|3|[3]\nPCI\\A|1|[1,2]\nPci\\a|4|[4]\nUSB\\Z|2|[2]\n");
}

#ifdef QV_SOURCE_DIR
// The index that version 1 made of testdata/v1/share while the share lay in
// /tmp/v1fix/share; its report of 2026-12-07 holds ROOT\REP\A twice, "Second"
// before "First".
const fs::path kFixture = fs::path(QV_SOURCE_DIR) / "qvfleet" / "store" / "testdata" / "v1";
const fs::path kFixtureShare = "/tmp/v1fix/share";

// The tables, views and indexes of an index, as SQLite keeps their SQL.
std::string schema_of(Database& db) {
  return rows(db, "SELECT type, name, tbl_name, sql FROM sqlite_schema ORDER BY type, name");
}

std::string changes(Database& db) {
  std::string printed;
  const auto written = write_changes(db, std::nullopt, [&](std::string_view lines) {
    printed += lines;
    return true;
  });
  EXPECT_TRUE(written) << written.error();
  return printed;
}

// The two snapshots of PC-1 as qvdiff compares them.
std::string qvdiff_of_fixture(const std::string& old_text, const std::string& new_text) {
  const auto old_report = parse_report(old_text);
  const auto new_report = parse_report(new_text);
  EXPECT_TRUE(old_report && new_report);
  std::string printed = "between   2026-12-06T06:00:00Z 2026-12-07T06:00:00Z PC-1\n";
  (void)compare_reports(*old_report, *new_report, [&](std::string_view lines) {
    printed += lines;
    return true;
  });
  return printed;
}

// An index of version 1 is brought to version 2 in place when a run opens it to
// write, its rows kept; the order of devices that share an id comes from the
// report's file while it is there unchanged, else from the order of their rows.
TEST(UpgradeFromVersion1, KeepsTheRowsAndLearnsTheOrderOfRepeatedIds) {
  const std::string day1 = file_bytes(kFixture / "share" / "PC-1" / "2026-12-06.txt");
  const std::string day2 = file_bytes(kFixture / "share" / "PC-1" / "2026-12-07.txt");
  std::string day2_by_rows = day2;  // "First" has the lower state_id
  day2_by_rows.replace(day2_by_rows.find("Second"), 6, "First!");
  day2_by_rows.replace(day2_by_rows.find("First\n"), 5, "Second");
  day2_by_rows.replace(day2_by_rows.find("First!"), 6, "First");
  const struct {
    const char* what;
    std::optional<std::string> file;  // what lies where the report of 2026-12-07 was indexed
    std::string order;                // repeated_device of that report
    std::string printed;
  } cases[] = {
      {"the file as it was", day2, "2|1|Second\n2|2|First\n", qvdiff_of_fixture(day1, day2)},
      // with a report whose order is another: not the bytes indexed, so not read
      {"the file rewritten", day2_by_rows, "2|-2|First\n2|-1|Second\n",
       qvdiff_of_fixture(day1, day2_by_rows)},
      {"the file gone", std::nullopt, "2|-2|First\n2|-1|Second\n",
       qvdiff_of_fixture(day1, day2_by_rows)},
  };
  const TestFolder folder("qvfleet_schema_upgrade");
  const std::string path = (folder.path() / "fleet.db").string();
  for (const auto& c : cases) {
    fs::remove_all(kFixtureShare);
    fs::create_directories(kFixtureShare.parent_path());
    fs::copy(kFixture / "share", kFixtureShare, fs::copy_options::recursive);
    const fs::path moved = kFixtureShare / "PC-1" / "2026-12-07.txt";
    if (c.file) {
      write_file(moved, *c.file);
    } else {
      fs::remove(moved);
    }
    fs::copy_file(kFixture / "fleet.db", path, fs::copy_options::overwrite_existing);
    {
      auto reader = open_index(path, IndexAccess::read);
      ASSERT_FALSE(reader);
      EXPECT_EQ(reader.error(),
                "It is a fleet index of version 1: run qvfleet index on it once to bring it to "
                "version 4.");
    }
    auto db = open_index(path, IndexAccess::write);
    ASSERT_TRUE(db) << db.error();
    EXPECT_EQ(rows(*db, "PRAGMA user_version"), "4\n") << c.what;
    EXPECT_EQ(rows(*db,
                   "SELECT snapshot_id, host_id, report_id, taken_at, path, size, mtime_ns, "
                   "quote(file_id) FROM snapshot ORDER BY snapshot_id"),
              "1|1|1|2026-12-06T06:00:00Z|/tmp/v1fix/share/PC-1/2026-12-06.txt|384|"
              "1796536800000000000|NULL\n"
              "2|1|2|2026-12-07T06:00:00Z|/tmp/v1fix/share/PC-1/2026-12-07.txt|326|"
              "1796623200000000000|NULL\n"
              "3|2|3|2026-12-07T06:00:00Z|/tmp/v1fix/share/PC-2/2026-12-07.txt|197|"
              "1796623200000000000|NULL\n")
        << c.what;
    EXPECT_EQ(rows(*db, "SELECT count(*) FROM report_device"), "8\n") << c.what;
    EXPECT_EQ(rows(*db,
                   "SELECT report_id, position, description FROM repeated_device "
                   "JOIN device_state USING (state_id) ORDER BY report_id, position"),
              "1|1|First\n1|2|Second\n" + c.order)
        << c.what;
    EXPECT_EQ(changes(*db), c.printed) << c.what;
    // The files version 1 indexed are known still.
    auto indexer = Indexer::make(*db);
    ASSERT_TRUE(indexer) << indexer.error();
    EXPECT_EQ(indexer->known({"/tmp/v1fix/share/PC-2/2026-12-07.txt", 197,
                              1796623200000000000 + 1234567, "803:99"}),
              true);
    // The report's bytes met again, elsewhere, give it its own order.
    EXPECT_EQ(indexer->add({"/elsewhere/2026-12-07.txt", 326, 1796623200000000000, "9:9"}, day2),
              std::nullopt);
    EXPECT_EQ(rows(*db,
                   "SELECT report_id, position, description FROM repeated_device "
                   "JOIN device_state USING (state_id) WHERE report_id = 2 ORDER BY position"),
              "2|1|Second\n2|2|First\n")
        << c.what;
    EXPECT_EQ(changes(*db), qvdiff_of_fixture(day1, day2)) << c.what;
  }
  fs::remove_all(kFixtureShare);
  std::error_code kept;  // the folder goes only when nothing else is in it
  fs::remove(kFixtureShare.parent_path(), kept);
}

// The index that version 2 made of /tmp/v2fix/share: testdata/v1/share and
// testdata/v2/share, whose PC-3 holds one section twice. Brought to version 4,
// it keeps every row, has the schema of a new index, and answers as an index
// made anew of the same files does.
TEST(UpgradeFromVersion2, KeepsEveryRowAndAnswersAsANewIndex) {
  const fs::path fixture = fs::path(QV_SOURCE_DIR) / "qvfleet" / "store" / "testdata" / "v2";
  const TestFolder folder("qvfleet_schema_v2");
  const std::string path = (folder.path() / "fleet.db").string();
  fs::copy_file(fixture / "fleet.db", path);
  auto db = open_index(path, IndexAccess::write);
  ASSERT_TRUE(db) << db.error();
  EXPECT_EQ(rows(*db, "PRAGMA user_version"), "4\n");
  EXPECT_EQ(rows(*db, "SELECT * FROM report_device ORDER BY report_id, state_id"),
            "1|1|1\n1|2|1\n1|3|1\n1|4|1\n2|2|1\n2|3|1\n2|5|1\n3|1|1\n4|1|2\n4|6|1\n");
  EXPECT_EQ(rows(*db, "SELECT * FROM report_driver ORDER BY report_id, driver_id"),
            "1|1\n2|2\n3|1\n4|1\n");
  EXPECT_EQ(rows(*db, "SELECT states, quote(copies), drivers FROM report ORDER BY report_id"),
            "[1,2,3,4]|NULL|[1]\n[2,3,5]|NULL|[2]\n[1]|NULL|[1]\n[1,6]|'[2,1]'|[1]\n");
  EXPECT_EQ(rows(*db, "SELECT * FROM repeated_device"),
            "1|1|2\n1|2|3\n2|1|3\n2|2|2\n4|0|1\n4|1|1\n");

  auto fresh = open_memory_index();
  ASSERT_TRUE(fresh) << fresh.error();
  EXPECT_EQ(schema_of(*db), schema_of(*fresh));
  auto indexer = Indexer::make(*fresh);
  ASSERT_TRUE(indexer) << indexer.error();
  auto files = db->prepare("SELECT path, size, mtime_ns FROM snapshot ORDER BY snapshot_id");
  ASSERT_TRUE(files);
  while (files->step().value_or(false)) {
    const std::string indexed(files->text(0));
    const fs::path share = indexed.find("PC-3") == std::string::npos ? kFixture : fixture;
    const std::string bytes = file_bytes(share / indexed.substr(std::string("/tmp/v2fix/").size()));
    const auto added = indexer->add({indexed, files->integer(1), files->integer(2), ""}, bytes);
    ASSERT_TRUE(added && !*added) << indexed;
  }
  EXPECT_EQ(changes(*db), changes(*fresh));
  for (const char* sql : {"SELECT * FROM report ORDER BY report_id",
                          "SELECT d.value, j.value FROM device_id_states AS d, "
                          "json_each(d.state_ids) AS j ORDER BY 1, 2"}) {
    EXPECT_EQ(rows(*db, sql), rows(*fresh, sql)) << sql;
  }
}

// A version-1 index marked as a newer version is refused and left as it was.
TEST(UpgradeFromVersion1, RefusesANewerVersionUntouched) {
  const TestFolder folder("qvfleet_schema_newer");
  const std::string path = (folder.path() / "fleet.db").string();
  fs::copy_file(kFixture / "fleet.db", path);
  {
    auto db = Database::open(path, Database::Mode::read_write);
    ASSERT_TRUE(db && db->execute("PRAGMA user_version = 5"));
  }
  const std::string before = file_bytes(path);
  const auto opened = open_index(path, IndexAccess::write);
  ASSERT_FALSE(opened);
  EXPECT_EQ(opened.error(),
            "It is a fleet index of version 5, which this program does not know: it reads "
            "version 4.");
  EXPECT_EQ(file_bytes(path), before);
}
#endif

}  // namespace
}  // namespace qv
