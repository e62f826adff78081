// The everyday questions through the program, on a fleet whose answers are known:
// a driver is its provider and description whatever INF each machine publishes it
// as, its versions compare as numbers, and a host counts once.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "queries.h"
#include "schema.h"
#include "test_folder.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono;

DriverInfo driver(std::optional<std::string> provider, std::string description, std::string inf,
                  DriverVersion version, std::optional<DriverDate> date) {
  return {.identity = {date, version},
          .description = std::move(description),
          .provider = std::move(provider),
          .inf_path = std::move(inf)};
}

DeviceRecord graphics(const std::string& published_as) {
  return {.instance_id = "PCI\\VEN_8086&DEV_A7A0\\3",
          .description = "Iris Xe Graphics",
          .hardware_ids = {"PCI\\VEN_8086&DEV_A7A0"},
          .driver = driver("Intel", "Iris Xe Graphics", published_as, {{31, 0, 101, 4502}},
                           DriverDate{2024, 3, 1})};
}

DeviceRecord disk(const std::string& number) {
  return {.instance_id = "SCSI\\DISK\\" + number,
          .description = "Disk drive",
          .hardware_ids = {"SCSI\\DiskSamsung"},
          .driver = driver("Microsoft", "Disk drive", "disk.inf", {{10, 0, 19041, 1}},
                           DriverDate{2006, 6, 21})};
}

// The second Ethernet adapter of a machine, its driver published there too.
DeviceRecord second_ethernet(std::uint16_t minor) {
  DeviceRecord adapter = intel_ethernet(minor);
  adapter.instance_id = "PCI\\VEN_8086&DEV_1\\4";
  adapter.driver->inf_path = "oem9.inf";
  return adapter;
}

const DeviceRecord kSensor{
    .instance_id = "ACPI\\SEN\\0",
    .description = "Sensor",
    .driver = driver("Acme", "Sensor", "oem4.inf", {{2, 0, 0, 0}}, std::nullopt)};
const DeviceRecord kSerial{
    .instance_id = "ACPI\\PNP0501\\1",
    .description = "Serial port",
    .driver = driver("", "Serial port", "ser.inf", {{1, 0, 0, 0}}, DriverDate{2020, 1, 1})};
const DeviceRecord kStick{
    .instance_id = "USB\\X\\1", .description = "Stick", .hardware_ids = {"USB\\X", "USB\\Y"}};
const DeviceRecord kUnknown{.instance_id = "ACPI\\ABC\\0",
                            .description = "Unknown device",
                            .compatible_ids = {"ACPI\\CID"}};
const DeviceRecord kWebcam{.instance_id = "USB\\CAM\\1", .description = "Webcam"};

// Four hosts: PC-1 to PC-3 seen at the same moment, PC-4 not since a week before.
// Earlier snapshots of PC-1 and PC-3 hold what the latest ones no longer do.
class QuestionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto day = [](int d) { return sys_days{2026y / 12 / d} + 6h; };
    put("PC-1/06.txt", "PC-1", day(6), {intel_ethernet(0), disk("1"), kStick, kWebcam});
    put("PC-1/07.txt", "PC-1", day(7),
        {intel_ethernet(10), graphics("oem12.inf"), disk("1"), kSensor, kStick});
    put("PC-2/07.txt", "PC-2", day(7),
        {intel_ethernet(9), graphics("oem57.inf"), disk("1"), kSerial, kUnknown});
    put("PC-3/06.txt", "PC-3", day(6),
        {intel_ethernet(9), second_ethernet(9), graphics("oem3.inf"), disk("1")});
    put("PC-3/07.txt", "PC-3", day(7),
        {intel_ethernet(9), second_ethernet(9), graphics("oem3.inf"), disk("1"), disk("2")});
    put("PC-4/01.txt", "PC-4", day(1), {disk("1")});
    ASSERT_EQ(run({"index", index_, (root_ / "share").string()}).status, 0);
  }

  void put(const std::string& name, const std::string& host, sys_seconds taken,
           std::vector<DeviceRecord> devices) {
    put_report(root_ / "share" / name, std::move(devices), host, taken);
  }

  CommandOutcome run(std::vector<std::string> arguments) {
    for (std::string& argument : arguments) {
      if (argument == "@index") argument = index_;
    }
    return run_command(arguments);
  }

  struct Case {
    std::vector<std::string> arguments;
    std::string out;
  };

  void expect_answers(std::span<const Case> cases) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::PrintToString(c.arguments));
      expect_outcome(run(c.arguments), {0, c.out, ""});
    }
  }

  const TestFolder folder_{"qvfleet_questions"};
  const fs::path root_ = folder_.path();
  const std::string index_ = (root_ / "fleet.db").string();
};

constexpr std::string_view kLatest = "2026-12-07T06:00:00Z";

// A line of fields split by tabs.
std::string line(std::initializer_list<std::string_view> fields) {
  std::string text;
  for (const std::string_view field : fields) {
    text += field;
    text += '\t';
  }
  text.back() = '\n';
  return text;
}

TEST_F(QuestionsTest, DriversAreProviderAndDescriptionWithEachVersionsHosts) {
  const std::string head = "provider\tdescription\tinf\tversion\tdate\thosts\n";
  const std::string serial = line({"", "Serial port", "ser.inf", "1.0.0.0", "2020-01-01", "1"});
  const std::string sensor = line({"Acme", "Sensor", "oem4.inf", "2.0.0.0", "", "1"});
  const std::string ethernet =
      line({"Intel", "Ethernet", "net.inf", "1.10.0.0", "2024-01-02", "1"}) +
      line({"Intel", "Ethernet", "2 names", "1.9.0.0", "2024-01-02", "2"});
  const std::string graphics =
      line({"Intel", "Iris Xe Graphics", "oem*.inf (3 names)", "31.0.101.4502", "2024-03-01", "3"});
  const std::string disk =
      line({"Microsoft", "Disk drive", "disk.inf", "10.0.19041.1", "2006-06-21", "4"});
  const std::string by_inf =
      head + serial + sensor +
      line({"Intel", "Ethernet", "net.inf", "1.10.0.0", "2024-01-02", "1"}) +
      line({"Intel", "Ethernet", "net.inf", "1.9.0.0", "2024-01-02", "2"}) +
      line({"Intel", "Ethernet", "oem9.inf", "1.9.0.0", "2024-01-02", "1"}) +
      line({"Intel", "Iris Xe Graphics", "oem12.inf", "31.0.101.4502", "2024-03-01", "1"}) +
      line({"Intel", "Iris Xe Graphics", "oem3.inf", "31.0.101.4502", "2024-03-01", "1"}) +
      line({"Intel", "Iris Xe Graphics", "oem57.inf", "31.0.101.4502", "2024-03-01", "1"}) + disk;
  const Case cases[] = {
      {{"drivers", "@index"}, head + serial + sensor + ethernet + graphics + disk},
      // a driver is chosen whole by an INF one machine publishes it as
      {{"drivers", "@index", "OEM57"}, head + graphics},
      {{"drivers", "@index", "ven_8086&dev_1"}, head + ethernet},
      {{"drivers", "@index", "nothing like it"}, head},
      {{"drivers", "@index", "--csv", "serial"},
       "provider,description,inf,version,date,hosts\r\n\"\",Serial port,ser.inf,1.0.0.0,2020-01-01,"
       "1\r\n"},
      {{"drivers", "@index", "--by-inf"}, by_inf},
  };
  expect_answers(cases);
}

TEST_F(QuestionsTest, BehindListsTheHostsOnAnOlderVersionOldestFirst) {
  const std::string head = "host\tprovider\tdescription\tversion\tbehind\tlast_seen\n";
  const auto behind = [](std::string_view host, std::string_view version, std::string_view newest) {
    return line({host, "Intel", "Ethernet", version, newest, kLatest});
  };
  const Case cases[] = {
      // PC-3 once, with two adapters on the version; every other driver has one version
      {{"behind", "@index"},
       head + behind("PC-2", "1.9.0.0", "1.10.0.0") + behind("PC-3", "1.9.0.0", "1.10.0.0")},
      {{"behind", "@index", "iris"}, head},
      // PC-1 is ahead of the version asked for
      {{"behind", "@index", "ether", "--version", "1.9.5.0"},
       head + behind("PC-2", "1.9.0.0", "1.9.5.0") + behind("PC-3", "1.9.0.0", "1.9.5.0")},
      // the sensor runs 2.0.0.0 itself
      {{"behind", "@index", "--version", "2.0.0.0"},
       head + line({"PC-2", "", "Serial port", "1.0.0.0", "2.0.0.0", kLatest}) +
           behind("PC-2", "1.9.0.0", "2.0.0.0") + behind("PC-3", "1.9.0.0", "2.0.0.0") +
           behind("PC-1", "1.10.0.0", "2.0.0.0")},
  };
  expect_answers(cases);
}

TEST_F(QuestionsTest, NoDriverListsTheLatestSnapshotsDevicesWithoutOne) {
  const std::string head = "host\tinstance_id\tdescription\thardware_id\n";
  const std::string stick = line({"PC-1", "USB\\X\\1", "Stick", "USB\\X"});
  const std::string unknown = line({"PC-2", "ACPI\\ABC\\0", "Unknown device", ""});
  const Case cases[] = {
      {{"nodriver", "@index"}, head + stick + unknown},
      {{"nodriver", "@index", "usb\\y"}, head + stick},  // a hardware id after the first
      {{"nodriver", "@index", "acpi\\cid"}, head + unknown},
      {{"nodriver", "@index", "abc\\0"}, head + unknown},
      {{"nodriver", "@index", "UNKNOWN", "--csv"},
       "host,instance_id,description,hardware_id\r\nPC-2,ACPI\\ABC\\0,Unknown device,\r\n"},
      {{"nodriver", "@index", "webcam"}, head},  // gone from PC-1's latest snapshot
  };
  expect_answers(cases);
}

TEST_F(QuestionsTest, HostsSeenBeforeAreThoseWhoseLatestSnapshotIsOlder) {
  const std::string head = "host\ttaken_at\tos\tarch\tserver\tdevices\tno_driver\n";
  const auto host = [](std::string_view name, std::string_view taken, std::string_view devices,
                       std::string_view no_driver) {
    return line({name, taken, "10.0", "amd64", "0", devices, no_driver});
  };
  const std::string pc4 = host("PC-4", "2026-12-01T06:00:00Z", "1", "0");
  const Case cases[] = {
      {{"hosts", "@index", "--seen-before", std::string(kLatest)}, head + pc4},
      {{"hosts", "@index", "--seen-before", "2026-12-07T06:00:01Z"},
       head + pc4 + host("PC-1", kLatest, "5", "1") + host("PC-2", kLatest, "5", "1") +
           host("PC-3", kLatest, "5", "0")},
      {{"hosts", "@index", "--seen-before", "2026-12-01"}, head},
  };
  expect_answers(cases);
}

TEST_F(QuestionsTest, ChangesOfOneHost) {
  const std::string pc3 =
      "between   2026-12-06T06:00:00Z 2026-12-07T06:00:00Z PC-3\n"
      "added     SCSI\\DISK\\2\n"
      "new       description=Disk drive\n"
      "new       hwid=SCSI\\DiskSamsung\n"
      "new       driver_ver=2006-06-21 10.0.19041.1\n"
      "new       driver_desc=Disk drive\n"
      "new       driver_provider=Microsoft\n"
      "new       driver_inf=disk.inf\n";
  const Case cases[] = {
      {{"changes", "@index", "--host", "PC-3"}, pc3},
      {{"changes", "@index", "--host", "PC-2"}, ""},  // one snapshot
      {{"changes", "@index", "--host", "PC-3", "--since", "2026-12-07T06:00:01Z"}, ""},
  };
  expect_answers(cases);
}

// docs/fleet.md shows these questions in SQL, which the program answers otherwise.
TEST_F(QuestionsTest, TheDocumentedQueriesGiveTheSameRows) {
  auto db = open_index(index_, IndexAccess::read);
  ASSERT_TRUE(db.has_value()) << db.error();
  const struct {
    std::vector<std::string> arguments;
    std::string_view sql;
    std::vector<std::int64_t> numbers;  // ?2 to ?5
  } cases[] = {
      {{"drivers", "@index"}, kDriversQuery, {}},
      {{"drivers", "@index", "oem57", "--csv"}, kDriversQuery, {}},
      {{"drivers", "@index", "ven_8086&dev_1"}, kDriversQuery, {}},
      {{"behind", "@index"}, kBehindQuery, {}},
      {{"behind", "@index", "ether", "--version", "1.9.5.0"}, kBehindQuery, {1, 9, 5, 0}},
      {{"behind", "@index", "--version", "2.0.0.0"}, kBehindQuery, {2, 0, 0, 0}},
      {{"nodriver", "@index"}, kNoDriverQuery, {}},
      {{"nodriver", "@index", "usb\\y"}, kNoDriverQuery, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.arguments));
    auto statement = db->prepare(c.sql);
    ASSERT_TRUE(statement.has_value()) << statement.error();
    const bool csv = c.arguments.back() == "--csv";
    const auto text = c.arguments.size() > 2 && !c.arguments[2].starts_with("--")
                          ? std::optional<std::string_view>(c.arguments[2])
                          : std::nullopt;
    statement->bind(1, text);
    for (std::size_t i = 0; i < c.numbers.size(); ++i) {
      statement->bind(static_cast<int>(i + 2), c.numbers[i]);
    }
    std::string rows;
    ASSERT_TRUE(write_rows(*statement, csv ? TableFormat::csv : TableFormat::tsv,
                           [&](std::string_view lines) {
                             rows += lines;
                             return true;
                           })
                    .has_value());
    EXPECT_EQ(run(c.arguments).out, rows);
  }
}

TEST_F(QuestionsTest, BadWordsAreOneLineAndStatusTwo) {
  const std::string dates = "YYYY-MM-DD or YYYY-MM-DDTHH:MM:SSZ (UTC)";
  const std::string version =
      "The version after --version is not one as drivers have them, four numbers up to 65535 "
      "split by dots (31.0.101.4502): ";
  const struct {
    std::vector<std::string> arguments;
    std::string err;
  } cases[] = {
      {{"behind", "@index", "--version"},
       "The option --version needs a version, as 31.0.101.4502.\n"},
      {{"behind", "@index", "--version", "1.2"}, version + "1.2.\n"},
      {{"behind", "@index", "--version", "1.2.3.65536"}, version + "1.2.3.65536.\n"},
      {{"behind", "@index", "--version", "2024-01-02 1.2.3.4"}, version + "2024-01-02 1.2.3.4.\n"},
      {{"hosts", "@index", "--seen-before"},
       "The option --seen-before needs a date: " + dates + ".\n"},
      {{"hosts", "@index", "--seen-before", "2026-02-29"},
       "The date after --seen-before is not a day or a time of the calendar, " + dates +
           ": 2026-02-29.\n"},
      {{"changes", "@index", "--host"}, "The option --host needs a host's name.\n"},
      {{"changes", "@index", "--host", "pc-3"}, "The index has no host named pc-3.\n"},
      {{"nodriver", "@index", "a", "b"}, "Usage: qvfleet nodriver FLEET.db [TEXT] [--csv]\n"},
      {{"behind", "@index", "a", "--version", "1.0.0.0", "--version", "2.0.0.0"},
       "Usage: qvfleet behind FLEET.db [TEXT] [--version V] [--csv]\n"},
      {{"drivers", "@index", "--by-inf", "--by-inf"},
       "Usage: qvfleet drivers FLEET.db [TEXT] [--by-inf] [--csv]\n"},
      {{"nodriver", "@index", "--by-inf"}, "Usage: qvfleet nodriver FLEET.db [TEXT] [--csv]\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.arguments));
    expect_outcome(run(c.arguments), {2, "", c.err});
  }
}

}  // namespace
}  // namespace qv
