// Files for the fleet tests: a folder in the system's temporary folder named
// after the running test, so that test cases run side by side (ctest -j) never
// share one, and a file's bytes.
//
//   root_ = test_folder("qvfleet_sql");  // /tmp/qvfleet_sql_SqlCommandTest_RunsWhatOnlyReads
//   EXPECT_EQ(file_bytes(root_ / "x.csv"), "a,b\r\n");
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace qv {

inline std::filesystem::path test_folder(const std::string& prefix) {
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  return std::filesystem::temp_directory_path() /
         (prefix + "_" + test->test_suite_name() + "_" + test->name());
}

inline std::string file_bytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace qv
