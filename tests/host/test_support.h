// Shared set-up for host tests: a fresh simulated machine for every test.
#pragma once

#include <gtest/gtest.h>

#include "modules/EventLog.h"
#include "modules/Log.h"
#include "modules/Sessions.h"
#include "modules/Shared.h"
#include "modules/Steps.h"
#include "platform/sim/sim.h"

// The four registry values the main window reads.
inline const std::wstring PluginDirPath = L"HKLM\\Software\\Vantrel\\MsgPlus2\\PluginDir";
inline const std::wstring MessengerDirPath =
    L"HKLM\\Software\\Microsoft\\MSNMessenger\\InstallationDirectory";
inline const std::wstring InkPath =
    L"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
    L"{9FCB2876-554D-491D-A2CD-58F8252D6C64}\\DisplayName";
inline const std::wstring InfoPenPath =
    L"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
    L"{ECE6DE3F-5E70-4CEC-A583-F7BF9E252A77}\\DisplayName";

inline platform::Variant TextValue(const std::wstring& text) {
  platform::Variant v;
  v.type = platform::Variant::Type::Text;
  v.text = text;
  return v;
}

class SimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TerminatedProcesses.clear();  // closes handles of the last test's machine
    sim::Reset();
    InstallInfo = {};
    Mode = {};
    ProcessKilled = false;
    ::Run = {};
    Held = {};
  }
  sim::World& w() { return sim::world(); }
};

// A window handle as the call log writes it.
inline std::string Hex(std::uintptr_t value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%#llx", static_cast<unsigned long long>(value));
  return buffer;
}

// The ids of the processes KillProcessByName terminated, in order.
inline std::vector<std::uint32_t> TerminatedIds() {
  std::vector<std::uint32_t> ids;
  for (const auto& process : TerminatedProcesses) ids.push_back(process.id);
  return ids;
}

inline std::string Joined(const std::vector<std::string>& items) {
  std::string out;
  for (const auto& item : items) out += item + "\n";
  return out;
}
