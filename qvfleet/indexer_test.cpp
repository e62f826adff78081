#include "indexer.h"

#include <gtest/gtest.h>

#include <string>

#include "changes.h"
#include "report.h"
#include "schema.h"

namespace qv {
namespace {

DeviceRecord device(const std::string& id, std::optional<std::string> driver_version) {
  DeviceRecord record{.instance_id = id, .description = "Device " + id, .hardware_ids = {id}};
  if (driver_version) {
    record.driver = DriverInfo{.identity = {DriverDate{2024, 1, 2}, {}},
                               .description = "Shared Driver",
                               .provider = "Example"};
    std::sscanf(driver_version->c_str(), "%hu.%hu.%hu.%hu", &record.driver->identity.version.parts[0],
                &record.driver->identity.version.parts[1], &record.driver->identity.version.parts[2],
                &record.driver->identity.version.parts[3]);
  }
  return record;
}

std::string report(const std::string& host, std::vector<DeviceRecord> devices) {
  return serialize_report(ScanResult{.host = host, .os = "10.0", .arch = "amd64", .devices = devices});
}

class IndexerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto opened = open_memory_index();
    ASSERT_TRUE(opened) << opened.error();
    db_.emplace(std::move(*opened));
    auto made = Indexer::make(*db_);
    ASSERT_TRUE(made) << made.error();
    indexer_.emplace(std::move(*made));
  }
  std::optional<ReportError> add(const ReportFile& file, const std::string& bytes) {
    const auto added = indexer_->add(file, bytes);
    EXPECT_TRUE(added) << added.error();
    return added.value_or(std::nullopt);
  }
  std::int64_t count(const std::string& sql) {
    auto statement = db_->prepare(sql);
    EXPECT_TRUE(statement && *statement->step()) << sql;
    return statement->integer(0);
  }

  std::optional<Database> db_;
  std::optional<Indexer> indexer_;
};

// Equal bytes are one report, equal sections one device state, equal drivers one
// driver, however many files and hosts hold them; each file is its own snapshot.
TEST_F(IndexerTest, StoresWhatRepeatsOnce) {
  const std::string day1 =
      report("PC-1", {device("A", "1.0.0.0"), device("B", "1.0.0.0"), device("C", std::nullopt)});
  const std::string day2 =
      report("PC-1", {device("A", "1.1.0.0"), device("B", "1.0.0.0"), device("C", std::nullopt)});
  const std::string other =
      report("PC-2", {device("A", "1.0.0.0"), device("B", "1.0.0.0"), device("B", "1.0.0.0")});
  const std::pair<ReportFile, std::string> files[] = {
      {{"/s/PC-1/1.txt", 1, 86400LL * 1'000'000'000}, day1},
      {{"/s/PC-1/2.txt", 2, 2 * 86400LL * 1'000'000'000}, day2},
      {{"/s/PC-1/3.txt", 3, 3 * 86400LL * 1'000'000'000}, day1},  // seen again, unchanged
      {{"/s/PC-2/1.txt", 4, 86400LL * 1'000'000'000}, other},
  };
  for (const auto& [file, bytes] : files) EXPECT_EQ(add(file, bytes), std::nullopt) << file.path;

  EXPECT_EQ(count("SELECT count(*) FROM snapshot"), 4);
  EXPECT_EQ(count("SELECT count(*) FROM report"), 3);
  EXPECT_EQ(count("SELECT count(*) FROM host"), 2);
  EXPECT_EQ(count("SELECT count(*) FROM device_state"), 4);  // A 1.0, A 1.1, B, C
  EXPECT_EQ(count("SELECT count(*) FROM driver"), 2);
  EXPECT_EQ(count("SELECT count(*) FROM report_driver"), 4);
  EXPECT_EQ(count("SELECT copies FROM report_device JOIN device_state USING (state_id) "
                  "WHERE instance_id = 'B' AND report_id = 3"),
            2);
  EXPECT_EQ(count("SELECT devices * 10 + no_driver FROM report WHERE report_id = 1"), 31);
  EXPECT_EQ(count("SELECT count(*) FROM snapshot WHERE taken_at = '1970-01-04T00:00:00Z'"), 1);

  for (const auto& [file, bytes] : files) EXPECT_EQ(indexer_->known(file), true);
  for (const ReportFile& other_file : {ReportFile{"/s/PC-1/1.txt", 2, 86400LL * 1'000'000'000},
                                       ReportFile{"/s/PC-1/1.txt", 1, 0},
                                       ReportFile{"/s/PC-1/1.TXT", 1, 86400LL * 1'000'000'000}}) {
    EXPECT_EQ(indexer_->known(other_file), false) << other_file.path;
  }
}

TEST_F(IndexerTest, RefusesWhatIsNoReportAndWritesNothing) {
  const std::string whole = report("PC-1", {device("A", "1.0.0.0")});
  const std::pair<std::string, ReportError> cases[] = {
      {whole.substr(0, whole.size() - 1),
       {12, "The report is cut short: its last line does not end in a line feed."}},
      {"not a report\n", {1, "The first line is not \"qvdev1\"."}},
  };
  for (const auto& [bytes, error] : cases) {
    EXPECT_EQ(add({"/s/x.txt", 1, 0}, bytes), error);
    for (const char* table : {"snapshot", "report", "host", "device_state", "driver"}) {
      EXPECT_EQ(count(std::string("SELECT count(*) FROM ") + table), 0) << table;
    }
  }
}

// A section a report holds more often than the one before is that many devices
// added, in qvdiff's words.
TEST_F(IndexerTest, ChangesCountRepeatedSections) {
  const std::int64_t day = 86400LL * 1'000'000'000;
  EXPECT_EQ(add({"/s/1.txt", 1, day}, report("PC-1", {device("A", std::nullopt), device("A", std::nullopt)})),
            std::nullopt);
  EXPECT_EQ(add({"/s/2.txt", 2, 2 * day},
                report("PC-1", {device("A", std::nullopt), device("A", std::nullopt),
                                device("A", std::nullopt)})),
            std::nullopt);
  std::string printed;
  const auto written = write_changes(*db_, std::nullopt, [&](std::string_view lines) {
    printed += lines;
    return true;
  });
  ASSERT_TRUE(written) << written.error();
  EXPECT_EQ(printed,
            "between   1970-01-02T00:00:00Z 1970-01-03T00:00:00Z PC-1\n"
            "added     A\nnew       description=Device A\nnew       hwid=A\n");
}

TEST(UtcText, SecondsOfAnyMoment) {
  const std::pair<std::int64_t, const char*> cases[] = {
      {0, "1970-01-01T00:00:00Z"},
      {999'999'999, "1970-01-01T00:00:00Z"},
      {-1, "1969-12-31T23:59:59Z"},
      {1'796'623'200'000'000'000, "2026-12-07T06:00:00Z"},
  };
  for (const auto& [ns, text] : cases) EXPECT_EQ(utc_text(ns), text) << ns;
}

}  // namespace
}  // namespace qv
