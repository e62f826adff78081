#include "indexer.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "changes.h"
#include "identity_text.h"
#include "queries.h"
#include "report.h"
#include "report_diff.h"
#include "schema.h"
#include "sqlite3.h"
#include "test_folder.h"

namespace qv {
namespace {

constexpr std::int64_t kSecond = 1'000'000'000;
constexpr std::int64_t kDay = 86400 * kSecond;

DriverInfo driver(const std::string& identity_text) {
  return DriverInfo{.identity = parse_driver_identity_text(identity_text).value(),
                    .description = "Shared Driver",
                    .provider = "Example"};
}

DeviceRecord device(const std::string& id, std::optional<std::string> driver_version) {
  DeviceRecord record{.instance_id = id, .description = "Device " + id, .hardware_ids = {id}};
  if (driver_version) record.driver = driver("2024-01-02 " + *driver_version);
  return record;
}

template <typename Record, typename Change>
Record changed(Record record, const Change& change) {
  change(record);
  return record;
}

std::string report(const std::string& host, std::vector<DeviceRecord> devices) {
  return serialize_report(
      ScanResult{.host = host, .os = "10.0", .arch = "amd64", .devices = devices});
}

// What qvdiff prints for the two reports.
std::string qvdiff(const std::string& old_bytes, const std::string& new_bytes) {
  const auto old_report = parse_report(old_bytes);
  const auto new_report = parse_report(new_bytes);
  std::string printed;
  EXPECT_TRUE(old_report && new_report &&
              compare_reports(*old_report, *new_report, [&](std::string_view lines) {
                printed += lines;
                return true;
              }));
  return printed;
}

class IndexerTest : public ::testing::Test {
 protected:
  void SetUp() override { reset(); }
  void TearDown() override {
    if (db_) expect_sound_index(*db_);
  }
  void reset() {
    if (db_) expect_sound_index(*db_);
    indexer_.reset();
    db_.reset();
    auto opened = open_memory_index();
    ASSERT_TRUE(opened) << opened.error();
    db_.emplace(std::move(*opened));
    auto made = Indexer::make(*db_);
    ASSERT_TRUE(made) << made.error();
    indexer_.emplace(std::move(*made));
  }
  // A file of the share: each path is one file of its own, as on a disk.
  ReportFile file(const std::string& path, std::int64_t mtime_ns, std::int64_t size = 100) {
    const auto id = file_ids_.try_emplace(path, "803:" + std::to_string(file_ids_.size() + 1));
    return ReportFile{path, size, mtime_ns, id.first->second};
  }
  std::optional<ReportError> add(const ReportFile& file, const std::string& bytes) {
    const auto added = indexer_->add(file, bytes);
    EXPECT_TRUE(added) << added.error();
    return added.value_or(std::nullopt);
  }
  // What `qvfleet sql` prints for the query.
  std::string rows(std::string_view sql) {
    auto statement = db_->prepare(sql);
    EXPECT_TRUE(statement) << statement.error();
    if (!statement) return {};
    std::string printed;
    const auto written = write_rows(*statement, TableFormat::tsv, [&](std::string_view lines) {
      printed += lines;
      return true;
    });
    EXPECT_TRUE(written) << written.error();
    return printed;
  }
  std::string changes() {
    std::string printed;
    const auto written = write_changes(*db_, std::nullopt, [&](std::string_view lines) {
      printed += lines;
      return true;
    });
    EXPECT_TRUE(written) << written.error();
    return printed;
  }
  // How many rows each table holds.
  std::string tables() {
    return rows(
        "SELECT (SELECT count(*) FROM host) h, (SELECT count(*) FROM report) r, "
        "(SELECT count(*) FROM snapshot) s, (SELECT count(*) FROM driver) d, "
        "(SELECT count(*) FROM device_state) st, (SELECT count(*) FROM device_id) i, "
        "(SELECT count(*) FROM report_device) rd, (SELECT count(*) FROM report_driver) rv, "
        "(SELECT count(*) FROM repeated_device) rp, "
        "(SELECT count(*) FROM device_id_states, json_each(state_ids)) il");
  }

  std::optional<Database> db_;
  std::optional<Indexer> indexer_;
  std::map<std::string, std::string> file_ids_;
};

// Equal bytes are one report, equal sections one device state, equal drivers one
// driver, however many files and hosts hold them; each file is its own snapshot
// of the host that its report names, and a host is one row however often seen.
TEST_F(IndexerTest, StoresWhatRepeatsOnce) {
  const std::string day1 =
      report("PC-1", {device("A", "1.0.0.0"), device("B", "1.0.0.0"), device("C", std::nullopt)});
  const std::string day2 =
      report("PC-1", {device("A", "1.1.0.0"), device("B", "1.0.0.0"), device("C", std::nullopt)});
  const std::string other =
      report("PC-2", {device("A", "1.0.0.0"), device("B", "1.0.0.0"), device("B", "1.0.0.0")});
  // Report 2 is PC-1's and host 2 is PC-2: a report seen again must keep its own host.
  const std::pair<ReportFile, std::string> files[] = {
      {file("/s/PC-1/1.txt", kDay), day1},      {file("/s/PC-1/2.txt", 2 * kDay), day2},
      {file("/s/PC-2/1.txt", kDay), other},     {file("/s/PC-1/3.txt", 3 * kDay), day1},
      {file("/s/PC-2/2.txt", 3 * kDay), other}, {file("/s/PC-1/4.txt", 4 * kDay), day2},
  };
  for (const auto& [file, bytes] : files) EXPECT_EQ(add(file, bytes), std::nullopt) << file.path;
  // A new run knows the hosts only from the index.
  auto again = Indexer::make(*db_);
  ASSERT_TRUE(again) << again.error();
  indexer_.emplace(std::move(*again));
  EXPECT_EQ(add(file("/s/PC-3/1.txt", 5 * kDay), report("PC-3", {device("C", std::nullopt)})),
            std::nullopt);
  EXPECT_EQ(add(file("/s/PC-1/5.txt", 5 * kDay), day1), std::nullopt);
  EXPECT_EQ(add(file("/s/PC-2/3.txt", 5 * kDay), report("PC-2", {})), std::nullopt);

  EXPECT_EQ(
      rows("SELECT name, group_concat(path, ' ') AS files FROM (SELECT h.name, s.path "
           "FROM host AS h JOIN snapshot AS s USING (host_id) ORDER BY s.path) GROUP BY name"),
      "name\tfiles\n"
      "PC-1\t/s/PC-1/1.txt /s/PC-1/2.txt /s/PC-1/3.txt /s/PC-1/4.txt /s/PC-1/5.txt\n"
      "PC-2\t/s/PC-2/1.txt /s/PC-2/2.txt /s/PC-2/3.txt\n"
      "PC-3\t/s/PC-3/1.txt\n");
  EXPECT_EQ(tables(), "h\tr\ts\td\tst\ti\trd\trv\trp\til\n3\t5\t9\t2\t4\t4\t9\t4\t2\t4\n");
  // `devices` counts each section, a repeated one as often as it stands.
  EXPECT_EQ(
      rows("SELECT h.name AS host, r.devices, r.no_driver FROM report AS r "
           "JOIN host AS h USING (host_id) ORDER BY r.report_id"),
      "host\tdevices\tno_driver\nPC-1\t3\t1\nPC-1\t3\t1\nPC-2\t3\t0\nPC-3\t1\t1\nPC-2\t0\t0\n");
  EXPECT_EQ(rows("SELECT instance_id, copies FROM latest_device ORDER BY host, instance_id"),
            "instance_id\tcopies\nA\t1\nB\t1\nC\t1\nC\t1\n");
}

// A file is known by its path or by its identity, at the size and last write it
// had; a file rewritten in place is a new snapshot. Version 1 kept no identity,
// and on Windows the last write to the second.
// Two runs on one index, both begun on an empty one: a device state the other
// stored meanwhile is found, not made again.
TEST(IndexerRuns, FindTheStatesOfAnotherRun) {
  const TestFolder folder("qvfleet_indexer");
  const std::string path = (folder.path() / "fleet.db").string();
  auto first_db = open_index(path, IndexAccess::write);
  auto other_db = open_index(path, IndexAccess::write);
  ASSERT_TRUE(first_db && other_db);
  auto first = Indexer::make(*first_db);
  auto other = Indexer::make(*other_db);
  ASSERT_TRUE(first && other);
  const auto add = [](Indexer& indexer, const std::string& host) {
    const auto added =
        indexer.add({"/s/" + host, 1, 1, host},
                    report(host, {device("A", "1.0.0.0"), device(host, std::nullopt)}));
    EXPECT_TRUE(added) << added.error();
  };
  add(*first, "PC-1");
  add(*other, "PC-2");
  add(*first, "PC-3");
  auto count = first_db->prepare("SELECT count(*) FROM device_state");
  ASSERT_TRUE(count && count->step());
  EXPECT_EQ(count->integer(0), 4);
}

TEST_F(IndexerTest, KnowsAFileAsItWas) {
  const ReportFile indexed{"/s/PC-1/1.txt", 100, kDay, "803:1"};
  const struct {
    const char* what;
    bool by_version_1;
    ReportFile file;
    bool known;
  } cases[] = {
      {"the same", false, indexed, true},
      {"renamed", false, {"/s/PC-1/old/1.txt", 100, kDay, "803:1"}, true},
      {"copied over", false, {"/s/PC-1/1.txt", 100, kDay, "803:7"}, true},
      {"rewritten, longer", false, {"/s/PC-1/1.txt", 101, kDay, "803:1"}, false},
      {"rewritten, later", false, {"/s/PC-1/1.txt", 100, kDay + 1, "803:1"}, false},
      {"another file alike", false, {"/s/PC-1/1.TXT", 100, kDay, "803:2"}, false},
      {"of no known identity", false, {"/s/PC-1/2.txt", 100, kDay, ""}, false},
      {"version 1, the same second",
       true,
       {"/s/PC-1/1.txt", 100, kDay + kSecond - 1, "803:1"},
       true},
      {"version 1, the next second", true, {"/s/PC-1/1.txt", 100, kDay + kSecond, "803:1"}, false},
      {"version 1, the second before", true, {"/s/PC-1/1.txt", 100, kDay - 1, "803:1"}, false},
      {"version 1, rewritten, longer", true, {"/s/PC-1/1.txt", 99, kDay + 250, "803:1"}, false},
      {"version 1, renamed", true, {"/s/PC-1/old/1.txt", 100, kDay, "803:1"}, false},
  };
  for (const auto& c : cases) {
    reset();
    EXPECT_EQ(add(indexed, report("PC-1", {device("A", "1.0.0.0")})), std::nullopt);
    if (c.by_version_1) {
      ASSERT_TRUE(db_->execute("UPDATE snapshot SET file_id = NULL"));
    }
    EXPECT_EQ(indexer_->known(c.file), c.known) << c.what;
    if (c.known) continue;
    EXPECT_EQ(add(c.file, report("PC-1", {device("A", "1.1.0.0")})), std::nullopt) << c.what;
    EXPECT_EQ(rows("SELECT count(*) AS snapshots FROM snapshot"), "snapshots\n2\n") << c.what;
    EXPECT_EQ(indexer_->known(c.file), true) << c.what;
  }
  // A name that is not UTF-8 is kept with U+FFFD, and known by it again.
  reset();
  const ReportFile latin1{"/s/caf\xE9.txt", 100, kDay, ""};
  EXPECT_EQ(add(latin1, report("PC-1", {device("A", "1.0.0.0")})), std::nullopt);
  EXPECT_EQ(rows("SELECT hex(path) AS h FROM snapshot"), "h\n2F732F636166EFBFBD2E747874\n");
  EXPECT_EQ(indexer_->known(latin1), true);
}

// A driver is its provider, description, INF, date and version, an absent value
// told from an empty one; its columns hold each part.
TEST_F(IndexerTest, TellsDriversApartAndStoresTheirParts) {
  const DriverInfo base{.identity = parse_driver_identity_text("2024-01-02 1.10.200.3").value(),
                        .description = "Ethernet",
                        .inf_path = "oem1.inf",
                        .inf_section_ext = ".NTamd64",
                        .matching_device_id = "pci\\ven_8086"};
  const auto with = [&](const auto& change) { return changed(base, change); };
  const std::string base_row =
      "NULL\t'Ethernet'\t'oem1.inf'\t'2024-01-02'\t1.10.200.3\t1\t10\t200\t3\n";
  const struct {
    const char* what;
    DriverInfo other;
    std::string second_row;  // empty: the same driver
  } cases[] = {
      {"the same", base, ""},
      {"other section and matching id", with([](DriverInfo& d) {
         d.inf_section_ext.reset();
         d.matching_device_id = "pci\\ven_8086&dev_1";
       }),
       ""},
      {"other INF", with([](DriverInfo& d) { d.inf_path = "oem2.inf"; }),
       "NULL\t'Ethernet'\t'oem2.inf'\t'2024-01-02'\t1.10.200.3\t1\t10\t200\t3\n"},
      {"no INF", with([](DriverInfo& d) { d.inf_path.reset(); }),
       "NULL\t'Ethernet'\tNULL\t'2024-01-02'\t1.10.200.3\t1\t10\t200\t3\n"},
      {"empty provider", with([](DriverInfo& d) { d.provider = ""; }),
       "''\t'Ethernet'\t'oem1.inf'\t'2024-01-02'\t1.10.200.3\t1\t10\t200\t3\n"},
      {"a provider", with([](DriverInfo& d) { d.provider = "Intel"; }),
       "'Intel'\t'Ethernet'\t'oem1.inf'\t'2024-01-02'\t1.10.200.3\t1\t10\t200\t3\n"},
      {"other description", with([](DriverInfo& d) { d.description = ""; }),
       "NULL\t''\t'oem1.inf'\t'2024-01-02'\t1.10.200.3\t1\t10\t200\t3\n"},
      {"no date", with([](DriverInfo& d) { d.identity.date.reset(); }),
       "NULL\t'Ethernet'\t'oem1.inf'\tNULL\t1.10.200.3\t1\t10\t200\t3\n"},
      {"other version", with([](DriverInfo& d) {
         d.identity.version = {{65535, 0, 7, 40}};
       }),
       "NULL\t'Ethernet'\t'oem1.inf'\t'2024-01-02'\t65535.0.7.40\t65535\t0\t7\t40\n"},
  };
  for (const auto& c : cases) {
    reset();
    const std::string bytes = report(
        "PC-1", {DeviceRecord{.instance_id = "X\\1", .description = "One", .driver = base},
                 DeviceRecord{.instance_id = "X\\2", .description = "Two", .driver = c.other}});
    EXPECT_EQ(add(file("/s/1.txt", kDay), bytes), std::nullopt) << c.what;
    EXPECT_EQ(
        rows("SELECT quote(provider), quote(description), quote(inf), quote(date), version, "
             "v1, v2, v3, v4 FROM driver ORDER BY driver_id"),
        "quote(provider)\tquote(description)\tquote(inf)\tquote(date)\tversion\tv1\tv2\tv3\tv4\n" +
            base_row + c.second_row)
        << c.what;
  }
}

// What editors do to a text file changes its bytes, not its devices.
TEST_F(IndexerTest, EditedCopyStoresNoNewDeviceStates) {
  const std::string bytes = report("PC-1", {DeviceRecord{.instance_id = "X\\1",
                                                         .description = "One",
                                                         .class_guid = "{g}",
                                                         .hardware_ids = {"X1", "X"},
                                                         .compatible_ids = {"C"},
                                                         .driver = driver("1.0.0.0")},
                                            device("B", std::nullopt), device("B", "2.0.0.0")});
  std::string crlf;
  for (const char c : bytes) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  const std::pair<const char*, std::string> cases[] = {
      {"CR LF", crlf},
      {"byte-order mark", "\xEF\xBB\xBF" + bytes},
      {"both", "\xEF\xBB\xBF" + crlf},
  };
  for (const auto& [what, copy] : cases) {
    reset();
    EXPECT_EQ(add(file("/s/1.txt", kDay), bytes), std::nullopt) << what;
    EXPECT_EQ(add(file("/s/2.txt", 2 * kDay), copy), std::nullopt) << what;
    EXPECT_EQ(tables(), "h\tr\ts\td\tst\ti\trd\trv\trp\til\n1\t2\t2\t2\t3\t5\t6\t4\t4\t5\n")
        << what;
    EXPECT_EQ(changes(), "") << what;
  }
}

// `changes` prints what qvdiff prints for the two reports, whatever of a device
// changed: every part of it goes into the index and comes out again.
TEST_F(IndexerTest, ChangesSayWhatQvdiffSays) {
  const DeviceRecord camera{.instance_id = "USB\\CAM\\1",
                            .description = "Camera",
                            .class_guid = "{6bdd1fc6-810f-11d0-bec7-08002be2092f}",
                            .hardware_ids = {"USB\\CAM&1", "USB\\CAM"},
                            .compatible_ids = {"USB\\Class_0E", "USB\\Class"},
                            .driver = DriverInfo{.identity = driver("2024-01-02 2.0.0.0").identity,
                                                 .description = "Camera",
                                                 .provider = "Cams",
                                                 .inf_path = "cam.inf",
                                                 .inf_section_ext = ".NT",
                                                 .matching_device_id = "usb\\cam"}};
  const DeviceRecord twin = changed(camera, [](DeviceRecord& d) { d.description = "Twin"; });
  const DeviceRecord stays = device("PCI\\STAYS", "1.0.0.0");
  const DeviceRecord other = changed(stays, [](DeviceRecord& d) { d.description = "Other"; });
  using Devices = std::vector<DeviceRecord>;
  const auto of = [&](const std::function<void(DeviceRecord&)>& change) {
    return Devices{stays, changed(camera, change)};
  };
  Devices many;  // more than std::sort sorts by insertion, of one id
  for (int i = 0; i < 20; ++i) {
    many.push_back(changed(camera, [&](DeviceRecord& d) { d.description = std::to_string(i); }));
  }
  Devices large;  // more than the 64 KiB that qvdiff's output leaves in at a time
  for (int i = 0; i < 2000; ++i)
    large.push_back(device(std::to_string(i).insert(0, 1, 'L'), std::nullopt));
  const struct {
    const char* what;
    Devices older, newer;
  } cases[] = {
      {"class GUID", {stays, camera}, of([](DeviceRecord& d) { d.class_guid = "{other}"; })},
      {"no class GUID", {stays, camera}, of([](DeviceRecord& d) { d.class_guid.reset(); })},
      {"hwid order", {stays, camera}, of([](DeviceRecord& d) {
         std::swap(d.hardware_ids[0], d.hardware_ids[1]);
       })},
      {"cid order", {stays, camera}, of([](DeviceRecord& d) {
         std::swap(d.compatible_ids[0], d.compatible_ids[1]);
       })},
      {"an id of the other kind", {stays, camera}, of([](DeviceRecord& d) {
         d.compatible_ids.insert(d.compatible_ids.begin(), d.hardware_ids.back());
         d.hardware_ids.pop_back();
       })},
      {"empty provider",
       {stays, changed(camera, [](DeviceRecord& d) { d.driver->provider.reset(); })},
       of([](DeviceRecord& d) { d.driver->provider = ""; })},
      {"INF", {stays, camera}, of([](DeviceRecord& d) { d.driver->inf_path = "oem9.inf"; })},
      {"no date", {stays, camera}, of([](DeviceRecord& d) { d.driver->identity.date.reset(); })},
      {"section and matching id", {stays, camera}, of([](DeviceRecord& d) {
         d.driver->inf_section_ext.reset();
         d.driver->matching_device_id = "";
       })},
      {"no driver", {stays, camera}, of([](DeviceRecord& d) { d.driver.reset(); })},
      {"copies more", {camera, stays}, {camera, stays, camera, camera}},
      {"repeated id, swapped", {camera, stays, twin}, {twin, stays, camera}},
      {"repeated id, one gone", {camera, twin, stays}, {twin, stays}},
      {"repeated id, one more", {camera, stays}, {camera, twin, stays}},
      {"repeated id, first one gone", {twin, camera, stays}, {camera, stays}},
      {"repeated id, alike copies", {camera, camera}, {camera, twin}},
      {"two repeated ids", {camera, twin, stays, other}, {twin, camera, other, stays}},
      {"copies fewer", {camera, camera, camera, stays}, {stays, camera}},
      {"only another order", {camera, stays, twin}, {stays, camera, twin}},
      {"many of one id removed, in the report's order", many, {stays}},
      {"more than one piece of output, under one heading", large, {stays}},
  };
  for (const auto& c : cases) {
    reset();
    const std::string older = report("PC-1", c.older);
    const std::string newer = report("PC-1", c.newer);
    const std::string expected = qvdiff(older, newer);
    EXPECT_EQ(add(file("/s/1.txt", kDay), older), std::nullopt) << c.what;
    EXPECT_EQ(add(file("/s/2.txt", 2 * kDay), newer), std::nullopt) << c.what;
    // A pair that qvdiff finds alike is no change at all.
    const std::string heading =
        expected.empty() ? "" : "between   1970-01-02T00:00:00Z 1970-01-03T00:00:00Z PC-1\n";
    EXPECT_EQ(changes(), heading + expected) << c.what;
  }
}

// The latest snapshot of a host is its latest file, whatever order the files
// were indexed in, and to the nanosecond.
TEST_F(IndexerTest, LatestDevicesAreThoseOfEachHostsLatestFile) {
  const std::pair<ReportFile, std::string> files[] = {
      {file("/s/PC-1/a.txt", kDay),
       report("PC-1", {device("A", "1.0.0.0"), device("B", std::nullopt)})},
      {file("/s/PC-1/b.txt", 2 * kDay), report("PC-1", {device("A", "1.1.0.0")})},
      {file("/s/PC-2/b.txt", 3 * kDay),
       report("PC-2", {device("C", std::nullopt), device("C", std::nullopt)})},
      {file("/s/PC-2/a.txt", 2 * kDay),
       report("PC-2", {device("A", "1.0.0.0"), device("C", std::nullopt)})},
      {file("/s/PC-3/late.txt", kDay + 700'000'000), report("PC-3", {device("D", "2.0.0.0")})},
      {file("/s/PC-3/early.txt", kDay + 200'000'000), report("PC-3", {device("D", "1.0.0.0")})},
  };
  for (const auto& [file, bytes] : files) EXPECT_EQ(add(file, bytes), std::nullopt) << file.path;
  EXPECT_EQ(rows("SELECT host, taken_at, instance_id, driver_ver, copies FROM latest_device "
                 "ORDER BY host, instance_id"),
            "host\ttaken_at\tinstance_id\tdriver_ver\tcopies\n"
            "PC-1\t1970-01-03T00:00:00Z\tA\t2024-01-02 1.1.0.0\t1\n"
            "PC-2\t1970-01-04T00:00:00Z\tC\t\t2\n"
            "PC-3\t1970-01-02T00:00:00Z\tD\t2024-01-02 2.0.0.0\t1\n");
  EXPECT_EQ(rows(kHostsQuery),
            "host\ttaken_at\tos\tarch\tserver\tdevices\tno_driver\n"
            "PC-1\t1970-01-03T00:00:00Z\t10.0\tamd64\t0\t1\t0\n"
            "PC-2\t1970-01-04T00:00:00Z\t10.0\tamd64\t0\t2\t2\n"
            "PC-3\t1970-01-02T00:00:00Z\t10.0\tamd64\t0\t1\t0\n");
  EXPECT_EQ(changes(),
            "between   1970-01-03T00:00:00Z 1970-01-04T00:00:00Z PC-2\n"
            "removed   A\nold       description=Device A\nold       hwid=A\n"
            "old       driver_ver=2024-01-02 1.0.0.0\nold       driver_desc=Shared Driver\n"
            "old       driver_provider=Example\n"
            "added     C\nnew       description=Device C\nnew       hwid=C\n"
            "between   1970-01-02T00:00:00Z 1970-01-03T00:00:00Z PC-1\n"
            "removed   B\nold       description=Device B\nold       hwid=B\n"
            "changed   A\nold       driver_ver=2024-01-02 1.0.0.0\nnew       driver_ver=2024-01-02 "
            "1.1.0.0\n"
            "between   1970-01-02T00:00:00Z 1970-01-02T00:00:00Z PC-3\n"
            "changed   D\nold       driver_ver=2024-01-02 1.0.0.0\nnew       driver_ver=2024-01-02 "
            "2.0.0.0\n");
}

// A failure of the database halfway through a report: the caller rolls the
// transaction back, and the indexer forgets the hosts and device states it had
// made in it, so that the next transaction makes them again.
TEST_F(IndexerTest, FailureInTheMiddleOfAReportIsRolledBackWhole) {
  const std::pair<const char*, const char*> cases[] = {
      {"device_id", "NEW.value = 'BAD'"},      {"device_state", "NEW.instance_id = 'BAD'"},
      {"driver", "NEW.version = '9.9.9.9'"},   {"report", "1"},
      {"repeated_device", "NEW.position = 3"}, {"snapshot", "1"},
  };
  const std::string failing =
      report("PC-9", {device("A", "1.0.0.0"), device("N", "9.9.9.9"), device("BAD", "9.9.9.9"),
                      device("N", std::nullopt), device("Z", std::nullopt)});
  for (const auto& [table, when] : cases) {
    reset();
    EXPECT_EQ(add(file("/s/PC-1/1.txt", kDay), report("PC-1", {device("A", "1.0.0.0")})),
              std::nullopt);
    indexer_->committed();
    const std::string before = tables();
    ASSERT_TRUE(db_->execute("BEGIN"));
    // Rows the transaction made before the report, which the roll back takes too.
    EXPECT_EQ(add(file("/s/PC-8/1.txt", kDay), report("PC-8", {device("Y", "1.0.0.0")})),
              std::nullopt);
    ASSERT_TRUE(db_->execute(std::string("CREATE TEMP TRIGGER fail BEFORE INSERT ON ") + table +
                             " WHEN " + when + " BEGIN SELECT RAISE(FAIL, 'x'); END"));
    const auto failed = indexer_->add(file("/s/PC-9/1.txt", kDay), failing);
    ASSERT_FALSE(failed) << table;
    EXPECT_EQ(failed.error().find('\n'), std::string::npos) << table;
    ASSERT_TRUE(db_->execute("ROLLBACK"));  // the trigger too
    indexer_->rolled_back();
    EXPECT_EQ(tables(), before) << table;
    ASSERT_TRUE(db_->execute("BEGIN"));
    EXPECT_EQ(add(file("/s/PC-9/1.txt", kDay), failing), std::nullopt) << table;
    EXPECT_EQ(add(file("/s/PC-9/2.txt", 2 * kDay), report("PC-9", {device("Z", std::nullopt)})),
              std::nullopt)
        << table;
    ASSERT_TRUE(indexer_->write_id_lists() && db_->execute("COMMIT"));
    EXPECT_EQ(rows(kHostsQuery),
              "host\ttaken_at\tos\tarch\tserver\tdevices\tno_driver\n"
              "PC-1\t1970-01-02T00:00:00Z\t10.0\tamd64\t0\t1\t0\n"
              "PC-9\t1970-01-03T00:00:00Z\t10.0\tamd64\t0\t1\t1\n")
        << table;
    EXPECT_EQ(tables(), "h\tr\ts\td\tst\ti\trd\trv\trp\til\n2\t3\t3\t2\t5\t5\t7\t3\t2\t5\n")
        << table;
  }
}

// Each lookup of the indexer whose step fails fails the report, or the question
// whether a file is known: taken for "not found", it would store a second copy
// of what the index holds. The step fails as the library interrupts it, while
// every other statement runs.
TEST_F(IndexerTest, AFailedLookupFailsTheReport) {
  const std::string indexed = report("PC-0", {device("A", "1.0.0.0")});
  const struct {
    const char* lookup;  // a piece of its SQL
    bool another_run;    // by an indexer made after the first report, which knows none of it
    std::string bytes;   // added, or none: asked whether the file is known
  } cases[] = {
      {"FROM snapshot", false, ""},
      {"FROM report WHERE", false, report("PC-1", {})},
      {"FROM host WHERE", true, report("PC-0", {})},
      {"FROM driver WHERE", true, report("PC-1", {device("C", "1.0.0.0")})},
      {"FROM device_state WHERE", true, report("PC-1", {device("A", "1.0.0.0")})},
      {"data_version", false, report("PC-1", {device("B", std::nullopt)})},
      {"FROM repeated_device WHERE", false, indexed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.lookup);
    reset();
    ASSERT_EQ(add(file("/s/PC-0/1.txt", kDay), indexed), std::nullopt);
    std::optional<Indexer> other;
    if (c.another_run) {
      auto made = Indexer::make(*db_);
      ASSERT_TRUE(made) << made.error();
      other.emplace(std::move(*made));
    }
    Indexer& indexer = other ? *other : *indexer_;
    sqlite3* const db = db_->get();
    struct Interrupt {
      sqlite3* db;
      const char* lookup;
      bool done = false;
    } interrupt{db, c.lookup};
    sqlite3_progress_handler(
        db, 1,
        [](void* context) {
          auto& interrupt = *static_cast<Interrupt*>(context);
          for (sqlite3_stmt* statement = sqlite3_next_stmt(interrupt.db, nullptr); statement;
               statement = sqlite3_next_stmt(interrupt.db, statement)) {
            if (sqlite3_stmt_busy(statement) &&
                std::string_view(sqlite3_sql(statement)).find(interrupt.lookup) !=
                    std::string_view::npos) {
              interrupt.done = true;
              return 1;
            }
          }
          return 0;
        },
        &interrupt);
    const auto failure = [](const auto& outcome) { return outcome ? "" : outcome.error(); };
    const std::string failed = c.bytes.empty()
                                   ? failure(indexer.known(file("/s/PC-1/1.txt", kDay)))
                                   : failure(indexer.add(file("/s/PC-1/1.txt", kDay), c.bytes));
    sqlite3_progress_handler(db, 0, nullptr, nullptr);
    EXPECT_TRUE(interrupt.done);
    EXPECT_EQ(failed, "Interrupted.");
  }
}

TEST_F(IndexerTest, RefusesWhatIsNoReportAndWritesNothing) {
  const std::string whole = report("PC-1", {device("A", "1.0.0.0")});
  const std::pair<std::string, ReportError> cases[] = {
      {whole.substr(0, whole.size() - 1),
       {12, "The report is cut short: its last line does not end in a line feed."}},
      {"not a report\n", {1, "The first line is not \"qvdev1\"."}},
  };
  // What the run indexed before stays.
  ASSERT_TRUE(db_->execute("BEGIN"));
  EXPECT_EQ(add(file("/s/1.txt", 0), report("PC-0", {device("B", "1.0.0.0")})), std::nullopt);
  for (const auto& [bytes, error] : cases) {
    EXPECT_EQ(add(file("/s/x.txt", 0), bytes), error);
    EXPECT_EQ(tables(), "h\tr\ts\td\tst\ti\trd\trv\trp\til\n1\t1\t1\t1\t1\t1\t1\t1\t0\t0\n");
  }
  EXPECT_TRUE(indexer_->write_id_lists() && db_->execute("COMMIT"));
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
