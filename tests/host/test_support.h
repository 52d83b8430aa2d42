// Shared set-up for host tests: a fresh simulated machine for every test.
#pragma once

#include <gtest/gtest.h>

#include "modules/Functions.h"
#include "modules/Shared.h"
#include "platform/sim/sim.h"

class SimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::Reset();
    InstallInfo = {};
    ProcessKilled = false;
    TerminatedProcessIds.clear();
  }
  sim::World& w() { return sim::world(); }
};

// A window handle as the call log writes it.
inline std::string Hex(std::uintptr_t value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%#llx", static_cast<unsigned long long>(value));
  return buffer;
}

inline std::string Joined(const std::vector<std::string>& items) {
  std::string out;
  for (const auto& item : items) out += item + "\n";
  return out;
}
