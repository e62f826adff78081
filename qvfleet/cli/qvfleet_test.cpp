#include "qvfleet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fake_sink.h"
#include "qv_version.h"
#include "report.h"
#include "test_folder.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono;

const DeviceRecord kUsb{
    .instance_id = "USB\\X\\1", .description = "Stick", .hardware_ids = {"USB\\X"}};
const DeviceRecord kCamera{
    .instance_id = "USB\\CAM\\1",
    .description = "Camera",
    .compatible_ids = {"USB\\Class_0E"},
    .driver = DriverInfo{.identity = {DriverDate{2024, 1, 2}, {{2, 0, 0, 0}}},
                         .description = "Camera",
                         .provider = "Cams",
                         .inf_path = "cam.inf"}};

class QvfleetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(root_ / "share");
    index_ = (root_ / "fleet.db").string();
    put("PC-1/2026-12-06.txt", {intel_ethernet(0), kUsb}, "PC-1", sys_days{2026y / 12 / 6} + 6h);
    put("PC-1/2026-12-07.txt", {intel_ethernet(10), kCamera}, "PC-1",
        sys_days{2026y / 12 / 7} + 6h);
    put("PC-2/2026-12-07.txt", {intel_ethernet(9)}, "PC-2", sys_days{2026y / 12 / 7} + 6h);
    std::ofstream(root_ / "share" / "notes.txt") << "not a report\n";
  }

  void put(const std::string& name, std::vector<DeviceRecord> devices, const std::string& host,
           sys_seconds taken) {
    put_report(root_ / "share" / name, std::move(devices), host, taken);
  }

  CommandOutcome run(std::vector<std::string> arguments, std::vector<WriteOutcome> out_answers = {},
                     bool terminal = false) {
    for (std::string& argument : arguments) {
      if (argument == "@index") argument = index_;
      if (argument == "@share") argument = (root_ / "share").string();
      if (argument == "@export") argument = (root_ / "export").string();
    }
    return run_command(arguments, std::move(out_answers), terminal);
  }

  const TestFolder folder_{"qvfleet_test"};
  const fs::path root_ = folder_.path();
  std::string index_;
};

TEST_F(QvfleetTest, IndexesThenAnswers) {
  const std::string notes = (root_ / "share" / "notes.txt").string();
  const std::string refused = notes + ", line 1: The first line is not \"qvdev1\".\n";
  const std::string net = "PCI\\VEN_8086&DEV_1\\3\tEthernet\t2024-01-02 1.";
  const std::string between =
      "between   2026-12-06T06:00:00Z 2026-12-07T06:00:00Z PC-1\n"
      "removed   USB\\X\\1\nold       description=Stick\nold       hwid=USB\\X\n"
      "added     USB\\CAM\\1\nnew       description=Camera\nnew       cid=USB\\Class_0E\n"
      "new       driver_ver=2024-01-02 2.0.0.0\nnew       driver_desc=Camera\n"
      "new       driver_provider=Cams\nnew       driver_inf=cam.inf\n"
      "changed   PCI\\VEN_8086&DEV_1\\3\nold       driver_ver=2024-01-02 1.0.0.0\n"
      "new       driver_ver=2024-01-02 1.10.0.0\n";
  const std::string drivers =
      "provider\tdescription\tinf\tversion\tdate\thosts\n"
      "Intel\tEthernet\tnet.inf\t1.10.0.0\t2024-01-02\t1\n"
      "Intel\tEthernet\tnet.inf\t1.9.0.0\t2024-01-02\t1\n";
  const std::string found =
      "host\ttaken_at\tinstance_id\tdescription\tdriver_ver\n"
      "PC-1\t2026-12-07T06:00:00Z\t" +
      net +
      "10.0.0\n"
      "PC-2\t2026-12-07T06:00:00Z\t" +
      net + "9.0.0\n";
  const struct {
    std::vector<std::string> arguments;
    int status;
    std::string out;
    std::string err = "";
  } steps[] = {
      {{"index", "@index", "@share"}, 1, "3 indexed, 0 already known, 1 refused\n", refused},
      {{"index", "@index", "@share", "@share"},
       1,
       "0 indexed, 3 already known, 1 refused\n",
       refused},
      {{"hosts", "@index"},
       0,
       "host\ttaken_at\tos\tarch\tserver\tdevices\tno_driver\n"
       "PC-1\t2026-12-07T06:00:00Z\t10.0\tamd64\t0\t2\t0\n"
       "PC-2\t2026-12-07T06:00:00Z\t10.0\tamd64\t0\t1\t0\n"},
      {{"drivers", "@index"},
       0,
       drivers.substr(0, drivers.find('\n') + 1) +
           "Cams\tCamera\tcam.inf\t2.0.0.0\t2024-01-02\t1\n" +
           drivers.substr(drivers.find('\n') + 1)},
      {{"drivers", "@index", "eTHER"}, 0, drivers},
      {{"drivers", "@index", "VEN_8086"}, 0, drivers},  // the matching id
      {{"drivers", "@index", "nothing like it"}, 0, drivers.substr(0, drivers.find('\n') + 1)},
      {{"find", "@index", "pci\\ven_8086&dev_1"}, 0, found},
      {{"find", "@index", "PCI\\VEN_*"}, 0, found},
      {{"find", "@index", "PCI\\VEN_%*"}, 0, found.substr(0, found.find('\n') + 1)},
      {{"find", "@index", "USB_class*"}, 0, found.substr(0, found.find('\n') + 1)},
      {{"hosts", "@index", "--csv"},
       0,
       "host,taken_at,os,arch,server,devices,no_driver\r\n"
       "PC-1,2026-12-07T06:00:00Z,10.0,amd64,0,2,0\r\nPC-2,2026-12-07T06:00:00Z,10.0,amd64,0,1,"
       "0\r\n"},
      {{"changes", "@index"}, 0, between},
      {{"changes", "@index", "--since", "2026-12-07"}, 0, between},
      {{"changes", "@index", "--since", "2026-12-07T06:00:01Z"}, 0, ""},
      {{"changes", "@index", "--since", "2026-12-07T06:00:00Z"}, 0, between},
      {{"changes", "@index", "--since", "2024-02-29"}, 0, between},
      {{"sql", "@index", "SELECT count(*) AS n, NULL AS none, '' AS empty FROM snapshot;"},
       0,
       "n\tnone\tempty\n3\t\t\n"},
      {{"sql", "@index", "SELECT 'a,b' AS x, NULL, ''", "--csv"},
       0,
       "x,NULL,''\r\n\"a,b\",,\"\"\r\n"},
      {{"export", "@index", "@export"},
       0,
       "exported 9 tables to " + (root_ / "export").string() + "\n"},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(testing::PrintToString(step.arguments));
    const CommandOutcome outcome = run(step.arguments);
    EXPECT_EQ(outcome.status, step.status);
    EXPECT_EQ(outcome.out, step.out);
    EXPECT_EQ(outcome.err, step.err);
  }
  std::ifstream hosts(root_ / "export" / "host.csv", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(hosts), {}),
            "host_id,name\r\n1,PC-1\r\n2,PC-2\r\n");
}

// On a terminal the progress line is drawn where a message has cleared it, and
// cleared at the end, so that the summary stands alone.
TEST_F(QvfleetTest, ProgressOnATerminalIsClearedAroundMessages) {
  const CommandOutcome outcome = run({"index", "@index", "@share"}, {}, true);
  EXPECT_EQ(outcome.out, "3 indexed, 0 already known, 1 refused\n");
  const std::string message =
      (root_ / "share" / "notes.txt").string() + ", line 1: The first line is not \"qvdev1\".\n";
  // A message starts on a cleared line: at the start, or after the "\r" that ends
  // a clearing; the last thing written is a clearing, "\r", spaces and "\r".
  const std::size_t at = outcome.err.find(message);
  ASSERT_NE(at, std::string::npos) << outcome.err;
  EXPECT_TRUE(at == 0 || outcome.err[at - 1] == '\r') << testing::PrintToString(outcome.err);
  EXPECT_NE(outcome.err.find("of 4 files, "), std::string::npos);
  const std::size_t last = outcome.err.find_last_not_of(' ', outcome.err.size() - 2);
  EXPECT_TRUE(outcome.err.ends_with(" \r") && outcome.err[last] == '\r')
      << testing::PrintToString(outcome.err);
  EXPECT_EQ(run({"index", "@index", "@share"}).err, message);  // not on a file or pipe
}

// Every kind of trouble is one line and status 2; the index is never written by a question.
TEST_F(QvfleetTest, TroubleIsOneLineAndStatusTwo) {
  ASSERT_EQ(run({"index", "@index", "@share"}).status, 1);
  const std::string read_only = "The index is opened only to read: ";
  const struct {
    std::vector<std::string> arguments;
    std::string err;
  } cases[] = {
      {{"sql", "@index", "DROP TABLE host"}, read_only + "DROP is refused.\n"},
      {{"sql", "@index", "SELEC 1"}, "The query can't be run: Near \"SELEC\": syntax error.\n"},
      {{"changes", "@index", "--since"},
       "The option --since needs a date: YYYY-MM-DD or YYYY-MM-DDTHH:MM:SSZ (UTC).\n"},
      {{"hosts", "@index", "--all"}, "The option --all is not one of qvfleet's.\n"},
      {{"hosts", (root_ / "missing.db").string()},
       "Couldn't open the index " + (root_ / "missing.db").string() +
           ": Unable to open database file.\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.arguments));
    expect_outcome(run(c.arguments), {2, "", c.err});
  }
  EXPECT_EQ(run({"sql", "@index", "SELECT count(*) FROM host"}).out, "count(*)\n2\n");
  // --since takes a day or a moment of the calendar, nothing that merely looks like one.
  for (const std::string date :
       {"monday", "2026-13-45", "2026-12-07T99:99:99Z", "9999-99-99", "2026-02-29", "2026-04-31",
        "2026-12-00", "2026-12-07T24:00:00Z", "2026-12-07T06:60:00Z", "2026-12-07T06:00:60Z",
        "2026-12-07T06:00:00", "2026-12-07 06:00:00Z", "2026-12-7", "+026-12-07", "2026-12-07Z",
        "2026-12-07T06:00:00Z ", ""}) {
    SCOPED_TRACE(date);
    const CommandOutcome outcome = run({"changes", "@index", "--since", date});
    EXPECT_EQ(outcome.status, 2);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err,
              "The date after --since is not a day or a time of the calendar, "
              "YYYY-MM-DD or YYYY-MM-DDTHH:MM:SSZ (UTC): " +
                  date + ".\n");
  }
  // A command with a word missing or one too many gets its usage; an unknown one, all of it.
  const std::string usage = "Usage: qvfleet ";
  const struct {
    std::vector<std::string> arguments;
    std::string err;
  } usages[] = {
      {{"index"}, usage + "index FLEET.db PATH...\n"},
      {{"index", "@index"}, usage + "index FLEET.db PATH...\n"},
      {{"index", "@index", "@share", "--csv"}, usage + "index FLEET.db PATH...\n"},
      {{"index", "@index", "@share", "--since", "2026-12-07"}, usage + "index FLEET.db PATH...\n"},
      {{"hosts"}, usage + "hosts FLEET.db [--seen-before DATE] [--csv]\n"},
      {{"hosts", "@index", "PC-1"}, usage + "hosts FLEET.db [--seen-before DATE] [--csv]\n"},
      {{"hosts", "@index", "--csv", "--csv"},
       usage + "hosts FLEET.db [--seen-before DATE] [--csv]\n"},
      {{"hosts", "@index", "--since", "2026-12-07"},
       usage + "hosts FLEET.db [--seen-before DATE] [--csv]\n"},
      {{"drivers"}, usage + "drivers FLEET.db [TEXT] [--by-inf] [--csv]\n"},
      {{"drivers", "@index", "a", "b"}, usage + "drivers FLEET.db [TEXT] [--by-inf] [--csv]\n"},
      {{"find", "@index"}, usage + "find FLEET.db ID [--csv]\n"},
      {{"find", "@index", "a", "b"}, usage + "find FLEET.db ID [--csv]\n"},
      {{"changes"}, usage + "changes FLEET.db [--since DATE] [--host NAME]\n"},
      {{"changes", "@index", "PC-1"}, usage + "changes FLEET.db [--since DATE] [--host NAME]\n"},
      {{"changes", "@index", "--csv"}, usage + "changes FLEET.db [--since DATE] [--host NAME]\n"},
      {{"changes", "@index", "--since", "2026-12-07", "--since", "2026-12-08"},
       usage + "changes FLEET.db [--since DATE] [--host NAME]\n"},
      {{"sql"}, usage + "sql FLEET.db QUERY [--csv]\n"},
      {{"sql", "@index"}, usage + "sql FLEET.db QUERY [--csv]\n"},
      {{"sql", "@index", "--csv"}, usage + "sql FLEET.db QUERY [--csv]\n"},
      {{"sql", "@index", "SELECT 1", "--csv", "--csv"}, usage + "sql FLEET.db QUERY [--csv]\n"},
      {{"export"}, usage + "export FLEET.db FOLDER\n"},
      {{"export", "@index"}, usage + "export FLEET.db FOLDER\n"},
      {{"export", "@index", "@export", "more"}, usage + "export FLEET.db FOLDER\n"},
      {{"export", "@index", "@export", "--csv"}, usage + "export FLEET.db FOLDER\n"},
  };
  for (const auto& c : usages) {
    SCOPED_TRACE(testing::PrintToString(c.arguments));
    expect_outcome(run(c.arguments), {2, "", c.err});
  }
  EXPECT_FALSE(fs::exists(root_ / "export"));
  for (const std::vector<std::string>& unknown : {std::vector<std::string>{},
                                                  {"fleet", "@index"},
                                                  {"HOSTS", "@index"},
                                                  {"--csv"},
                                                  {"--version", "@index"}}) {
    const CommandOutcome outcome = run(unknown);
    EXPECT_EQ(outcome.status, 2);
    EXPECT_TRUE(outcome.err.starts_with("Usage: qvfleet COMMAND FLEET.db ..., where COMMAND is"))
        << outcome.err;
    EXPECT_EQ(std::ranges::count(outcome.err, '\n'), 12) << outcome.err;
  }
  // --version alone answers on standard output, as --help does.
  const CommandOutcome version = run({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "qvfleet " + std::string(kVersion) + "\n");
  EXPECT_EQ(version.err, "");
  const CommandOutcome full = run({"hosts", "@index"}, {failure(28, "No space left on device.")});
  EXPECT_EQ(full.status, 2);
  EXPECT_EQ(full.err, "Couldn't write standard output: No space left on device. (os error 28)\n");
}

}  // namespace
}  // namespace qv
