#include "changes.h"

#include <gtest/gtest.h>

#include <string>

#include "indexer.h"
#include "report.h"
#include "report_diff.h"
#include "report_reader.h"
#include "schema.h"

namespace qv {
namespace {

constexpr std::int64_t kDay = 86400LL * 1'000'000'000;

std::string report(std::vector<DeviceRecord> devices, const std::string& os = "10.0") {
  return serialize_report(
      ScanResult{.host = "PC-1", .os = os, .arch = "amd64", .devices = devices});
}

DeviceRecord device(const std::string& id, const std::string& description = "d",
                    std::vector<std::string> hwids = {}) {
  return {.instance_id = id, .description = description, .hardware_ids = std::move(hwids)};
}

// What qvdiff prints for the two reports.
std::string qvdiff(const std::string& old_text, const std::string& new_text) {
  const auto old_report = parse_report(old_text);
  const auto new_report = parse_report(new_text);
  EXPECT_TRUE(old_report && new_report);
  if (!old_report || !new_report) return "";
  std::string printed;
  (void)compare_reports(*old_report, *new_report, [&](std::string_view lines) {
    printed += lines;
    return true;
  });
  return printed;
}

class ChangesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto opened = open_memory_index();
    ASSERT_TRUE(opened) << opened.error();
    db_.emplace(std::move(*opened));
    auto made = Indexer::make(*db_);
    ASSERT_TRUE(made) << made.error();
    indexer_.emplace(std::move(*made));
  }
  void add(const std::string& path, std::int64_t mtime_ns, const std::string& bytes) {
    const auto added =
        indexer_->add({path, static_cast<std::int64_t>(bytes.size()), mtime_ns, path}, bytes);
    ASSERT_TRUE(added) << added.error();
    EXPECT_EQ(*added, std::nullopt) << path;
  }
  std::string changes(std::optional<std::string> since = std::nullopt) {
    std::string printed;
    const auto written = write_changes(*db_, std::move(since), [&](std::string_view lines) {
      printed += lines;
      return true;
    });
    EXPECT_TRUE(written) << written.error();
    return printed;
  }

  std::optional<Database> db_;
  std::optional<Indexer> indexer_;
};

// For a pair of snapshots, a heading and qvdiff's lines when qvdiff prints any,
// else nothing; the rows the indexer's own table of device changes lacks.
TEST(Changes, ArePrintedExactlyAsQvdiffPrintsThem) {
  const DeviceRecord a = device("A", "a", {"H1", "H2"});
  const DeviceRecord b = device("B", "b");
  std::vector<DeviceRecord> many;
  for (int i = 0; i < 20; ++i) many.push_back(device(i % 3 == 0 ? "W" : "X", std::to_string(i)));
  // More than the 64 KiB that qvdiff's output leaves in at a time: one heading still.
  std::vector<DeviceRecord> large;
  for (int i = 0; i < 1000; ++i) {
    large.push_back(device(std::to_string(i).insert(0, 1, 'L'), std::string(80, 'd')));
  }
  const struct {
    const char* what;
    std::string old_text;
    std::string new_text;
    bool differ;  // for qvdiff
  } cases[] = {
      {"many devices of one id removed, in the report's order", report(many), report({b}), true},
      {"a change of more than 64 KiB", report(large), report({b}), true},
      {"a device of a repeated id changed", report({b, device("T", "1"), device("T", "2")}),
       report({device("T", "1"), device("T", "3")}), true},
      {"the header's facts", report({a}), report({a}, "10.1"), true},
  };
  for (const auto& c : cases) {
    auto db = open_memory_index();
    ASSERT_TRUE(db) << db.error();
    auto indexer = Indexer::make(*db);
    ASSERT_TRUE(indexer) << indexer.error();
    EXPECT_EQ(indexer->add({"/s/1.txt", 1, kDay, "1:1"}, c.old_text), std::nullopt) << c.what;
    EXPECT_EQ(indexer->add({"/s/2.txt", 2, 2 * kDay, "1:2"}, c.new_text), std::nullopt) << c.what;
    std::string printed;
    ASSERT_TRUE(write_changes(*db, std::nullopt, [&](std::string_view lines) {
      printed += lines;
      return true;
    }));
    const std::string expected = qvdiff(c.old_text, c.new_text);
    EXPECT_EQ(!expected.empty(), c.differ) << c.what;
    const std::string heading = "between   1970-01-02T00:00:00Z 1970-01-03T00:00:00Z PC-1\n";
    EXPECT_EQ(printed, expected.empty() ? "" : heading + expected) << c.what;
  }
}

// Snapshots pair in the order of their files' last writes, whatever the order
// of indexing; the newest pair comes first, and a day like the one before it
// gives nothing.
TEST_F(ChangesTest, PairsInTimeOrderNewestFirst) {
  const std::string day1 = report({device("A", "1")});
  const std::string day2 = report({device("A", "2")});
  const std::string day3 = report({device("A", "3")});
  add("/s/PC-1/3.txt", 3 * kDay, day3);
  add("/s/PC-1/1.txt", kDay, day1);
  add("/s/PC-1/4.txt", 4 * kDay, day3);  // unchanged
  add("/s/PC-1/2.txt", 2 * kDay + 500'000'000, day2);
  EXPECT_EQ(changes(),
            "between   1970-01-03T00:00:00Z 1970-01-04T00:00:00Z PC-1\n"
            "changed   A\nold       description=2\nnew       description=3\n"
            "between   1970-01-02T00:00:00Z 1970-01-03T00:00:00Z PC-1\n"
            "changed   A\nold       description=1\nnew       description=2\n");
  EXPECT_EQ(changes("1970-01-04"),
            "between   1970-01-03T00:00:00Z 1970-01-04T00:00:00Z PC-1\n"
            "changed   A\nold       description=2\nnew       description=3\n");
}

}  // namespace
}  // namespace qv
