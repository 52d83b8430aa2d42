// The process terminator on the simulated process table.
#include <string>

#include "test_support.h"

namespace {

class KillTest : public SimTest {};

TEST_F(KillTest, MatchesTheEndOfTheNameLetterCaseAside) {
  w().AddProcess(1, "msnmsgr.exe");
  w().AddProcess(2, "MSNMSGR.EXE");
  w().AddProcess(3, "MsnMsgr.exe");
  w().AddProcess(4, "oldmsnmsgr.exe");
  w().AddProcess(5, "msnmsgr.exe.old");
  w().AddProcess(6, "msnmsgr");
  w().AddProcess(7, "");
  w().AddProcess(8, "explorer.exe");
  EXPECT_TRUE(KillProcessByName(L"msnmsgr.exe"));
  EXPECT_TRUE(ProcessKilled);
  for (std::uint32_t id : {1u, 2u, 3u, 4u}) {
    EXPECT_EQ(w().FindProcess(id), nullptr) << id << " still runs";
  }
  for (std::uint32_t id : {5u, 6u, 7u, 8u}) {
    EXPECT_NE(w().FindProcess(id), nullptr) << id << " was ended";
  }
  EXPECT_EQ(TerminatedIds(), (std::vector<std::uint32_t>{1, 2, 3, 4}));
  // Each in snapshot order: open, terminate with exit code 0, close.
  auto t = w().CallsStartingWith("TerminateProcess");
  EXPECT_EQ(Joined(t), "TerminateProcess(1,0)\nTerminateProcess(2,0)\nTerminateProcess(3,0)\nTerminateProcess(4,0)\n");
  EXPECT_EQ(w().CallsStartingWith("OpenProcess(0x100001,0,").size(), 4u) << "terminate and synchronize only";
  EXPECT_EQ(w().calls.back(), "CloseHandle(snapshot)");
}

TEST_F(KillTest, NoMatchOpensNothingAndStillCompletesTheScan) {
  w().AddProcess(1, "explorer.exe");
  EXPECT_FALSE(KillProcessByName(L"msnmsgr.exe"));
  EXPECT_TRUE(ProcessKilled);
  EXPECT_TRUE(w().CallsStartingWith("OpenProcess").empty());
  EXPECT_EQ(w().CallsStartingWith("Process32First(" + std::to_string(sizeof(platform::ProcessEntry)) + ")").size(), 1u);
}

TEST_F(KillTest, ProcessThatCannotBeOpenedIsPassedOver) {
  w().AddProcess(1, "msnmsgr.exe", /*canOpen=*/false);
  w().AddProcess(2, "msnmsgr.exe");
  EXPECT_TRUE(KillProcessByName(L"msnmsgr.exe"));
  EXPECT_NE(w().FindProcess(1), nullptr);
  EXPECT_EQ(w().FindProcess(2), nullptr);
  EXPECT_TRUE(ProcessKilled);
  EXPECT_EQ(TerminatedIds(), (std::vector<std::uint32_t>{2}));
}

TEST_F(KillTest, FailureMidScanReturnsWhatWasFoundAndLeavesTheFlag) {
  w().AddProcess(1, "msnmsgr.exe");
  w().AddProcess(2, "msnmsgr.exe");
  w().snapshotFailsAfterEntries = 1;
  EXPECT_TRUE(KillProcessByName(L"msnmsgr.exe"));
  EXPECT_FALSE(ProcessKilled);
  EXPECT_NE(w().FindProcess(2), nullptr);
  // The snapshot is closed all the same.
  EXPECT_EQ(w().CallsStartingWith("CloseHandle(snapshot)").size(), 1u);

  w().snapshotMissing = true;
  EXPECT_FALSE(KillProcessByName(L"msnmsgr.exe"));
  EXPECT_FALSE(ProcessKilled);
}

TEST_F(KillTest, SecondScanRunsAfreshAndSetsTheFlagAgain) {
  w().AddProcess(1, "msnmsgr.exe");
  EXPECT_TRUE(KillProcessByName(L"msnmsgr.exe"));
  EXPECT_FALSE(KillProcessByName(L"msnmsgr.exe"));
  EXPECT_TRUE(ProcessKilled);
  EXPECT_EQ(w().CallsStartingWith("CreateToolhelp32Snapshot").size(), 2u);
}

TEST_F(KillTest, NameFillingTheWholeFieldIsReadWithoutOverrun) {
  std::string name(255, 'a');
  name += "msnmsgr.exe";  // 266 characters: cut at the 260-character field, no NUL
  w().AddProcess(1, name);
  w().AddProcess(2, std::string(249, 'b') + "msnmsgr.exe");  // exactly 260
  EXPECT_TRUE(KillProcessByName(L"msnmsgr.exe"));
  EXPECT_NE(w().FindProcess(1), nullptr) << "the name as the field holds it ends otherwise";
  EXPECT_EQ(w().FindProcess(2), nullptr) << "a 260-character name ending with the target";
  EXPECT_TRUE(ProcessKilled);
}

TEST(NameMatches, ComparesOnlyTheEnd) {
  EXPECT_TRUE(NameMatches(L"msnmsgr.exe", L"msnmsgr.exe"));
  EXPECT_TRUE(NameMatches(L"oldmsnmsgr.exe", L"msnmsgr.exe"));
  EXPECT_FALSE(NameMatches(L"sgr.exe", L"msnmsgr.exe"));
  EXPECT_FALSE(NameMatches(L"", L"msnmsgr.exe"));
  EXPECT_FALSE(NameMatches(L"msnmsgr.exe ", L"msnmsgr.exe"));
}

}  // namespace
