// A folder in the system's temporary folder named after the running test, so
// that test cases run side by side (ctest -j) never share one.
//
//   root_ = test_folder("qvfleet_sql");  // /tmp/qvfleet_sql_SqlCommandTest_RunsWhatOnlyReads
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace qv {

inline std::filesystem::path test_folder(const std::string& prefix) {
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  return std::filesystem::temp_directory_path() /
         (prefix + "_" + test->test_suite_name() + "_" + test->name());
}

}  // namespace qv
