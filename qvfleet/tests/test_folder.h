// Files and commands for the fleet tests: a folder in the system's temporary
// folder named after the running test, so that test cases run side by side
// (ctest -j) never share one; a file's bytes; a report put in a share as qv
// leaves it; and a command run as the user runs it. Every fleet index a test
// leaves in its folder, or hands to expect_sound_index, is checked as
// index_check.h says, whatever the test was about.
//
//   root_ = test_folder("qvfleet_sql");  // /tmp/qvfleet_sql_SqlCommandTest_RunsWhatOnlyReads
//   EXPECT_EQ(file_bytes(root_ / "x.csv"), "a,b\r\n");
//   EXPECT_EQ(run_command({"hosts", index}).status, 0);
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "database.h"
#include "fake_sink.h"
#include "index_check.h"
#include "qvfleet.h"
#include "report.h"

namespace qv {

inline std::filesystem::path test_folder(const std::string& prefix) {
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  return std::filesystem::temp_directory_path() /
         (prefix + "_" + test->test_suite_name() + "_" + test->name());
}

// Fails the running test for each fault of the index.
inline void expect_sound_index(Database& db) {
  for (const std::string& fault : index_faults(db)) ADD_FAILURE() << "the index: " << fault;
}

// The running test's folder, made empty, and removed with the object: declared
// before whatever holds its files open, so that those close first, and the
// indexes it holds are checked.
class TestFolder {
 public:
  explicit TestFolder(const std::string& prefix) : path_(test_folder(prefix)) {
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TestFolder() {
    for (const std::filesystem::path& index : fleet_indexes_under(path_)) {
      for (const std::string& fault : index_file_faults(index)) {
        ADD_FAILURE() << index.string() << ": " << fault;
      }
    }
    std::error_code kept;  // a file still open on Windows stays, and the next run empties it
    std::filesystem::remove_all(path_, kept);
  }
  TestFolder(const TestFolder&) = delete;
  TestFolder& operator=(const TestFolder&) = delete;
  [[nodiscard]] const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

inline std::string file_bytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A report of these devices at `path`, its folders made, last written at `taken`.
inline void put_report(const std::filesystem::path& path, std::vector<DeviceRecord> devices,
                       const std::string& host, std::chrono::sys_seconds taken) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << serialize_report(
      ScanResult{.host = host, .os = "10.0", .arch = "amd64", .devices = std::move(devices)});
  std::filesystem::last_write_time(path, std::chrono::file_clock::from_sys(taken));
}

// An Ethernet adapter with Intel's driver 1.MINOR.0.0 of 2024-01-02.
inline DeviceRecord intel_ethernet(std::uint16_t minor) {
  return {.instance_id = "PCI\\VEN_8086&DEV_1\\3",
          .description = "Ethernet",
          .hardware_ids = {"PCI\\VEN_8086&DEV_1"},
          .driver = DriverInfo{.identity = {DriverDate{2024, 1, 2}, {{1, minor, 0, 0}}},
                               .description = "Ethernet",
                               .provider = "Intel",
                               .inf_path = "net.inf",
                               .matching_device_id = "pci\\ven_8086&dev_1"}};
}

// What a command printed, and its status.
struct CommandOutcome {
  int status;
  std::string out;
  std::string err;
};

// Every part of what a command printed, each compared with what is expected of it.
inline void expect_outcome(const CommandOutcome& got, const CommandOutcome& expected) {
  EXPECT_EQ(got.status, expected.status);
  EXPECT_EQ(got.out, expected.out);
  EXPECT_EQ(got.err, expected.err);
}

inline CommandOutcome run_command(const std::vector<std::string>& arguments,
                                  std::vector<WriteOutcome> out_answers = {},
                                  bool err_is_terminal = false) {
  FakeSink out(std::move(out_answers));
  FakeSink err;
  const int status =
      run_qvfleet(arguments, {.out = out, .err = err, .err_is_terminal = err_is_terminal});
  return {status, out.text, err.text};
}

}  // namespace qv
