// Test fixture over the stand-in machine: a fresh machine for every test, and
// after every test no handle left open and no handle misused.
#pragma once

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

#include "fake_machine.h"
#include "win_api.h"

namespace qv::fake {

class MachineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    machine() = Machine{};
    SetLastError(ERROR_SUCCESS);
  }
  void TearDown() override {
    EXPECT_EQ(m.open_handles(), 0u);
    EXPECT_EQ(m.handle_misuse, 0u);
  }

  [[nodiscard]] std::vector<Call> calls_named(std::string_view name) const {
    std::vector<Call> found;
    for (const Call& call : m.calls) {
      if (call.name == name) found.push_back(call);
    }
    return found;
  }

  Machine& m = machine();
};

}  // namespace qv::fake
