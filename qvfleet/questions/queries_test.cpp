#include "queries.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fake_sink.h"
#include "qvfleet.h"
#include "schema.h"
#include "test_folder.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

// `qvfleet sql` on an index with no reports in it: the rule of what runs needs none.
class SqlCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    index_ = (root_ / "fleet.db").string();
    ASSERT_TRUE(open_index(index_, IndexAccess::write).has_value());
  }

  CommandOutcome sql(const std::vector<std::string>& words) {
    std::vector<std::string> arguments{"sql", index_};
    arguments.insert(arguments.end(), words.begin(), words.end());
    return run_command(arguments);
  }

  const TestFolder folder_{"qvfleet_sql"};
  const fs::path root_ = folder_.path();
  std::string index_;
};

TEST_F(SqlCommandTest, RunsWhatOnlyReads) {
  const std::string table_info =
      "cid\tname\ttype\tnotnull\tdflt_value\tpk\n"
      "0\thost_id\tINTEGER\t0\t\t1\n1\tname\tTEXT\t1\t\t0\n";
  const struct {
    std::vector<std::string> words;
    std::string out;
    bool whole = true;  // else the output starts with `out`
  } cases[] = {
      {{"PRAGMA journal_mode"}, "journal_mode\nwal\n"},
      {{"PRAGMA cache_size"}, "cache_size\n", false},
      {{"PRAGMA user_version"}, "user_version\n" + std::to_string(kSchemaVersion) + "\n"},
      {{"PRAGMA table_info(host)"}, table_info},
      {{"pragma TABLE_INFO('host')"}, table_info},
      {{"PRAGMA integrity_check"}, "integrity_check\nok\n"},
      {{"SELECT name, pk FROM pragma_table_info('host')"}, "name\tpk\nhost_id\t1\nname\t0\n"},
      {{"SELECT * FROM pragma_journal_mode"}, "journal_mode\nwal\n"},
      {{"-- how many\nSELECT count(*) AS hosts FROM host"}, "hosts\n0\n"},
      {{"--", "how", "many\nSELECT", "count(*)", "AS", "hosts", "FROM", "host;"}, "hosts\n0\n"},
      {{"SELECT 1 AS one; ;\r\n-- one\n/* nothing more */ /* no"}, "one\n1\n"},
      {{"SELECT", "1", "AS", "one", "--csv"}, "one\r\n1\r\n"},
      {{"--csv", "SELECT 2 AS two"}, "two\r\n2\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.words));
    const CommandOutcome outcome = sql(c.words);
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.err, "");
    if (c.whole) {
      EXPECT_EQ(outcome.out, c.out);
    } else {
      EXPECT_TRUE(outcome.out.starts_with(c.out) && outcome.out.size() > c.out.size())
          << outcome.out;
    }
  }
}

TEST_F(SqlCommandTest, RefusesWhatWritesSetsOrTellsTheMemory) {
  const std::string before = file_bytes(index_);
  const std::string copy = (root_ / "copy.db").string();
  const auto refused = [](const std::string& what) {
    return "The index is opened only to read: " + what + " is refused.\n";
  };
  const struct {
    std::string query;
    std::string err;
  } cases[] = {
      {"PRAGMA journal_mode = DELETE", refused("PRAGMA journal_mode")},
      {"PRAGMA cache_size = 5", refused("PRAGMA cache_size")},
      {"PRAGMA main.user_version = 7", refused("PRAGMA user_version")},
      {"PRAGMA query_only(0)", refused("PRAGMA query_only")},
      {"PRAGMA foreign_keys = OFF", refused("PRAGMA foreign_keys")},
      {"PRAGMA optimize", refused("PRAGMA optimize")},
      {"PRAGMA wal_checkpoint", refused("PRAGMA wal_checkpoint")},
      {"PRAGMA shrink_memory", refused("PRAGMA shrink_memory")},
      {"PRAGMA writable_schema", refused("PRAGMA writable_schema")},
      {"SELECT * FROM pragma_optimize", "The query failed: Not authorized.\n"},
      {"SELECT fts3_tokenizer('simple')",
       "The query can't be run: No such function: fts3_tokenizer.\n"},
      {"SELECT load_extension('x')", "The query can't be run: No such function: load_extension.\n"},
      {"INSERT INTO host (name) VALUES ('x')", refused("INSERT")},
      {"UPDATE host SET name = 'x'", refused("UPDATE")},
      {"DELETE FROM host", refused("DELETE")},
      {"UPDATE sqlite_master SET sql = ''",
       "The query can't be run: Table sqlite_master may not be modified.\n"},
      {"CREATE TEMP TABLE t (a)", refused("CREATE")},
      {"CREATE VIEW v AS SELECT 1", refused("CREATE")},
      {"DROP VIEW latest_snapshot", refused("DROP")},
      {"ALTER TABLE host RENAME TO machine", refused("ALTER TABLE")},
      {"BEGIN", refused("a transaction")},
      {"VACUUM", refused("a statement that changes the index")},
      {"VACUUM INTO '" + copy + "'", refused("a statement that changes the index")},
      {"ANALYZE", refused("ANALYZE")},
      {"REINDEX", refused("REINDEX")},
      {"ATTACH '" + copy + "' AS other", refused("ATTACH")},
      {"DETACH main", refused("DETACH")},
      {"SELECT \"typo\"", "The query can't be run: No such column: typo.\n"},
      {"SELECT 1; SELECT 2", "Give one statement at a time: the query goes on after its first.\n"},
      {"SELECT 1; /* one */ -- and\nSELECT 2",
       "Give one statement at a time: the query goes on after its first.\n"},
      {"-- a comment alone", "The query is empty.\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.query);
    expect_outcome(sql({c.query}), {2, "", c.err});
  }
  EXPECT_FALSE(fs::exists(copy));
  EXPECT_EQ(file_bytes(index_), before);
}

// Natively and on Windows the program carries the SQLite of docs/fleet.md, not the system's.
TEST(Sqlite, IsThePinnedVersionWithTheDocumentedOptions) {
  auto db = open_memory_index();
  ASSERT_TRUE(db.has_value());
  auto version = db->prepare("SELECT sqlite_version()");
  ASSERT_TRUE(version.has_value() && *version->step());
  EXPECT_EQ(version->text(0), "3.40.1");
  auto options = db->prepare("SELECT compile_options FROM pragma_compile_options");
  ASSERT_TRUE(options.has_value());
  std::vector<std::string> enabled;
  std::vector<std::string> wanted = {"DEFAULT_FOREIGN_KEYS",
                                     "DEFAULT_MEMSTATUS=0",
                                     "DEFAULT_WAL_SYNCHRONOUS=1",
                                     "DQS=0",
                                     "ENABLE_MATH_FUNCTIONS",
                                     "LIKE_DOESNT_MATCH_BLOBS",
                                     "MAX_VARIABLE_NUMBER=250000",
                                     "OMIT_LOAD_EXTENSION",
                                     "THREADSAFE=1",
                                     "USE_URI"};
  while (*options->step()) {
    const std::string option(options->text(0));
    std::erase(wanted, option);
    if (option.starts_with("ENABLE_")) enabled.push_back(option);
  }
  EXPECT_EQ(wanted, std::vector<std::string>{});
  EXPECT_EQ(enabled, std::vector<std::string>{"ENABLE_MATH_FUNCTIONS"});
}

// TSV and CSV carry the same text; CSV only quotes it.
TEST(WriteRows, TsvAndCsvCarryTheSameText) {
  auto db = open_memory_index();
  ASSERT_TRUE(db.has_value());
  const struct {
    std::string value;  // an SQL expression
    std::string tsv;
    std::string csv;
  } cases[] = {
      {"'a' || char(13) || 'b'", "a b", "a b"},                     // a lone CR
      {"'a' || char(9) || 'b'", "a b", "a b"},                      // a tab
      {"'a' || char(10) || 'b'", "a b", "a b"},                     // a line feed
      {"CAST(X'610062' AS TEXT)", "a b", "a b"},                    // a NUL
      {"CAST(X'61FF' AS TEXT)", "a\xEF\xBF\xBD", "a\xEF\xBF\xBD"},  // not UTF-8
      {"'say \"hi\"'", "say \"hi\"", "\"say \"\"hi\"\"\""},
      {"'a,b'", "a,b", "\"a,b\""},
      {"X'00FF'", "00ff", "\\x00ff"},
      {"X''", "", "\\x"},
      {"NULL", "", ""},
      {"''", "", "\"\""},
      {"-7", "-7", "-7"},
      {"1.5", "1.5", "1.5"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    for (const TableFormat format : {TableFormat::tsv, TableFormat::csv}) {
      auto statement = db->prepare("SELECT " + c.value + " AS v");
      ASSERT_TRUE(statement.has_value()) << statement.error();
      std::string out;
      ASSERT_TRUE(write_rows(*statement, format, [&](std::string_view lines) {
                    out += lines;
                    return true;
                  }).has_value());
      EXPECT_EQ(out, format == TableFormat::tsv ? "v\n" + c.tsv + "\n" : "v\r\n" + c.csv + "\r\n");
    }
  }
}

TEST(WriteRows, HeaderFollowsTheSameRule) {
  auto db = open_memory_index();
  ASSERT_TRUE(db.has_value());
  for (const TableFormat format : {TableFormat::tsv, TableFormat::csv}) {
    auto statement = db->prepare("SELECT 1 AS \"a\tb\", 2 AS \"c,d\"");
    ASSERT_TRUE(statement.has_value());
    std::string out;
    ASSERT_TRUE(write_rows(*statement, format, [&](std::string_view lines) {
                  out += lines;
                  return true;
                }).has_value());
    EXPECT_EQ(out, format == TableFormat::tsv ? "a b\tc,d\n1\t2\n" : "a b,\"c,d\"\r\n1,2\r\n");
  }
}

}  // namespace
}  // namespace qv
