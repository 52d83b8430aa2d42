// KillProcessByName against real running processes under Wine.
#include "modules/Shared.h"
#include "modules/Steps.h"
#include "win_test_support.h"

namespace {

struct Named {
  const wchar_t* file;
  bool matches;
};

// Each name in a folder of its own: the file system ignores letter case.
const Named Names[] = {
    {L"msnmsgr.exe", true},     {L"msnmsgr.exe", true},      {L"MSNMSGR.EXE", true},
    {L"MsnMsgr.exe", true},     {L"oldmsnmsgr.exe", true},   {L"msnmsgr.exe.old", false},
    {L"msnmsgr", false},        {L"msnmsgr.ex", false},      {L"sleeper.exe", false},
};

TEST(KillProcessByName, TerminatesEveryProcessWhoseNameEndsWithTheTarget) {
  std::wstring sleeper = wintest::ThisDirectory() + L"sleeper.exe";
  std::vector<wintest::Child> children;
  int i = 0;
  for (const auto& n : Names) {
    std::wstring dir = wintest::TempDir(L"kill" + std::to_wstring(i++));
    std::wstring path = dir + L"\\" + n.file;
    ASSERT_TRUE(CopyFileW(sleeper.c_str(), path.c_str(), FALSE)) << GetLastError();
    children.push_back(wintest::Start(path, L""));
    ASSERT_NE(children.back().process.get(), nullptr);
  }
  // All of them must be in the process list before the scan.
  for (auto& c : children) ASSERT_EQ(WaitForSingleObject(c.process.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));

  ProcessKilled = false;
  TerminatedProcesses.clear();
  EXPECT_TRUE(KillProcessByName(L"msnmsgr.exe"));
  EXPECT_TRUE(ProcessKilled);

  for (std::size_t k = 0; k < children.size(); ++k) {
    HANDLE p = children[k].process.get();
    std::string name(Names[k].file, Names[k].file + wcslen(Names[k].file));
    if (Names[k].matches) {
      EXPECT_EQ(WaitForSingleObject(p, 5000), WAIT_OBJECT_0) << name << " still runs";
      EXPECT_EQ(wintest::ExitCode(p), 0u) << name;
    } else {
      EXPECT_EQ(WaitForSingleObject(p, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << name << " was ended";
      TerminateProcess(p, 99);
    }
  }
  EXPECT_EQ(TerminatedProcesses.size(), 5u);
}

TEST(KillProcessByName, NoMatchMeansFalseAndTheScanStillCompletes) {
  ProcessKilled = false;
  EXPECT_FALSE(KillProcessByName(L"no-such-program-here.exe"));
  EXPECT_TRUE(ProcessKilled);
}

}  // namespace
