// The removal, driven through the "Remove" button of the main window on the
// simulated system: its sequence, the display-name rules, the paths it builds
// and every outcome.
#include <algorithm>
#include <cstring>

#include "forms/frmMain.h"
#include "modules/Unattended.h"
#include "test_support.h"

namespace {

const std::wstring Library = L"C:\\P\\MsnScribbit.dll";
const std::string InkCommand = "MsiExec.exe /X{9FCB2876-554D-491D-A2CD-58F8252D6C64}";
const std::string InfoPenCommand = "MsiExec.exe /X{ECE6DE3F-5E70-4CEC-A583-F7BF9E252A77}";
const std::string Installer = "C:\\WINDOWS\\system32\\MsiExec.exe";

class RemovalTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    SetValue(PluginDirPath, L"C:\\P");
    SetValue(MessengerDirPath, L"C:\\M\\");
    SetValue(InkPath, L"Ink");
    SetValue(InfoPenPath, L"InfoPen for Outlook ");
    w().files.insert(Library);
  }
  void SetValue(const std::wstring& path, const std::wstring& text) {
    w().registry[path] = TextValue(text);
  }
  // Starts the program and clicks "Remove"; the removal ends the program.
  void Remove() {
    ASSERT_TRUE(sim::StartProgram());
    auto* form = frmMain::Instance();
    ASSERT_NE(form, nullptr);
    auto [x, y] = sim::CenterOf(*form, frmMain::Label2);
    w().calls.clear();
    EXPECT_FALSE(sim::Click(*form, x, y)) << "the removal returned to the window";
    EXPECT_TRUE(w().ended);
  }
  std::vector<std::string> Started() const {
    std::vector<std::string> out;
    for (const auto& s : sim::world().started)
      out.push_back(sim::Narrow(s.program) + "|" + sim::Narrow(s.commandLine) + "|" +
                    std::to_string(s.showState));
    return out;
  }
  std::vector<std::string> Boxes() const {
    std::vector<std::string> out;
    for (const auto& b : sim::world().messageBoxes)
      out.push_back(sim::Narrow(b.title) + "|" + sim::Narrow(b.text) + "|" + std::to_string(b.style));
    return out;
  }
  // The calls that make up the removal's visible steps, in order.
  std::vector<std::string> Steps() const {
    std::vector<std::string> out;
    for (const auto& c : sim::world().calls) {
      for (const char* step : {"HideForm", "FindWindowExA", "SendMessageTimeoutA", "CreateToolhelp32Snapshot",
                               "TerminateProcess", "RegisterWindowMessageA", "PostMessageA", "Shell",
                               "WaitForFocusInProcess", "SendEnterKey", "WaitForExitCode", "WaitForProcessesToExit",
                               "ShellExecuteExRunAs", "ShellAsDesktopUser",
                               "Kill", "MsgBox", "End", "ReportUnhandledFailure"}) {
        if (c.rfind(step, 0) == 0 && (c.size() == std::strlen(step) || c[std::strlen(step)] == '(')) {
          out.push_back(c);
          break;
        }
      }
    }
    return out;
  }
};

TEST_F(RemovalTest, FullRemovalRunsEveryStepInOrder) {
  auto a = w().AddWindow(L"IMWindowClass", L"Conversation 1");
  auto b = w().AddWindow(L"imwindowclass", L"Conversation 2");
  auto c = w().AddWindow(L"imwindowclass", L"Conversation 3");
  w().AddProcess(100, "explorer.exe");
  w().AddProcess(200, "msnmsgr.exe");
  w().AddProcess(300, "MSNMSGR.EXE");
  Remove();

  std::vector<std::string> expected = {
      "HideForm(MSN Scribbit Removal)",
      "FindWindowExA(0,imwindowclass)",
      "SendMessageTimeoutA(" + Hex(a) + ",0x10,0,0,2000)",
      "FindWindowExA(0,imwindowclass)",
      "SendMessageTimeoutA(" + Hex(b) + ",0x10,0,0,2000)",
      "FindWindowExA(0,imwindowclass)",
      "SendMessageTimeoutA(" + Hex(c) + ",0x10,0,0,2000)",
      "FindWindowExA(0,imwindowclass)",
      "CreateToolhelp32Snapshot(2,0)",
      "TerminateProcess(200,0)",
      "TerminateProcess(300,0)",
      "RegisterWindowMessageA(MessengerPlus_PluginChange)",
      "PostMessageA(0xffff,0xc123,0,0)",
      "Shell(" + Installer + "," + InkCommand + ",1)",
      "WaitForFocusInProcess(9000,5000)",
      "SendEnterKey",
      "WaitForExitCode(9000,1500)",  // ended: no second Enter
      "WaitForExitCode(9000,300000)",  // one installation at a time
      "Shell(" + Installer + "," + InfoPenCommand + ",1)",
      "WaitForFocusInProcess(9001,5000)",
      "SendEnterKey",
      "WaitForExitCode(9001,1500)",  // ended: no second Enter
      "WaitForExitCode(9001,300000)",
      "WaitForProcessesToExit(200 300,5000)",
      "Kill(C:\\P\\MsnScribbit.dll)",
      "MsgBox(Complete:)",
      "ShellAsDesktopUser",  // this token is an administrator's
      "Shell(C:\\M\\msnmsgr.exe,\"C:\\M\\msnmsgr.exe\",2)",
      "End",
  };
  EXPECT_EQ(Joined(Steps()), Joined(expected));
  EXPECT_EQ(Joined(Boxes()), "Complete:|Plugin has been successfully uninstalled.|64\n");
  EXPECT_EQ(w().files.count(Library), 0u);
  EXPECT_TRUE(w().reportedFailures.empty());
  EXPECT_TRUE(ProcessKilled);
  EXPECT_EQ(w().FindProcess(100)->exitCode, 259u) << "an unrelated process was ended";
  std::string folders;
  for (const auto& started : w().started) folders += sim::Narrow(started.currentDirectory) + "|";
  EXPECT_EQ(folders, "C:\\WINDOWS\\system32|C:\\WINDOWS\\system32|C:\\M\\|") << "each starts in its own folder";
}

TEST_F(RemovalTest, ClickResetsHighlightsAndHidesTheWindowFirst) {
  ASSERT_TRUE(sim::StartProgram());
  auto* form = frmMain::Instance();
  auto [x, y] = sim::CenterOf(*form, frmMain::Label2);
  ASSERT_TRUE(sim::MouseMove(*form, x, y));
  ASSERT_EQ(form->FillColor(frmMain::Shape1), HoverColor);
  w().calls.clear();
  EXPECT_FALSE(sim::Click(*form, x, y));
  EXPECT_EQ(form->FillColor(frmMain::Shape1), 0xFFFFFFu);
  EXPECT_EQ(form->ForeColor(frmMain::Label2), 0u);
  EXPECT_EQ(form->FillColor(frmMain::Shape2), 0xFFFFFFu);
  EXPECT_EQ(form->ForeColor(frmMain::Label3), 0u);
  auto steps = Steps();
  ASSERT_FALSE(steps.empty());
  EXPECT_EQ(steps.front(), "HideForm(MSN Scribbit Removal)");
  EXPECT_FALSE(w().FindWindow(form->hWnd())->visible);
}

TEST_F(RemovalTest, NoConversationWindowMeansOneLookupAndNoRequest) {
  Remove();
  EXPECT_EQ(w().CallsStartingWith("FindWindowExA").size(), 1u);
  EXPECT_EQ(w().CallsStartingWith("SendMessageTimeoutA").size(), 0u);
}

TEST_F(RemovalTest, WindowsThatStayOrHangAreAskedOnceAndPassedOver) {
  auto stubborn = w().AddWindow(L"imwindowclass");
  w().windows.back().ignoresClose = true;
  auto hung = w().AddWindow(L"imwindowclass");
  w().windows.back().hung = true;
  auto normal = w().AddWindow(L"imwindowclass");
  Remove();
  auto requests = w().CallsStartingWith("SendMessageTimeoutA");
  ASSERT_EQ(requests.size(), 3u) << Joined(w().calls);
  EXPECT_EQ(requests[0].substr(0, 20 + Hex(stubborn).size()), "SendMessageTimeoutA(" + Hex(stubborn));
  EXPECT_EQ(requests[1].substr(0, 20 + Hex(hung).size()), "SendMessageTimeoutA(" + Hex(hung));
  EXPECT_EQ(requests[2].substr(0, 20 + Hex(normal).size()), "SendMessageTimeoutA(" + Hex(normal));
  EXPECT_EQ(Joined(Boxes()), "Complete:|Plugin has been successfully uninstalled.|64\n");
}

TEST_F(RemovalTest, SlowWindowsShareAFiveSecondBudgetThenAreAskedWithoutWaiting) {
  std::vector<platform::WindowHandle> windows;
  for (int i = 0; i < 6; ++i) {
    windows.push_back(w().AddWindow(L"imwindowclass"));
    w().windows.back().closeMs = 1500;  // slower than a desktop, not hung
  }
  Remove();
  auto sent = w().CallsStartingWith("SendMessageTimeoutA");
  auto posted = w().CallsStartingWith("PostMessageA(");
  // 1.5 + 1.5 + 1.5 s, then 0.5 s left for the fourth, which does not answer in time.
  ASSERT_EQ(sent.size(), 4u) << Joined(w().calls);
  EXPECT_EQ(sent[3], "SendMessageTimeoutA(" + Hex(windows[3]) + ",0x10,0,0,500)");
  EXPECT_EQ(Joined(posted), "PostMessageA(" + Hex(windows[4]) + ",0x10,0,0)\nPostMessageA(" +
                                Hex(windows[5]) + ",0x10,0,0)\nPostMessageA(0xffff,0xc123,0,0)\n");
  EXPECT_EQ(Joined(Boxes()), "Complete:|Plugin has been successfully uninstalled.|64\n");
}

TEST_F(RemovalTest, WindowClosingLateDoesNotHideTheOnesAfterIt) {
  auto slow = w().AddWindow(L"imwindowclass");
  w().windows.back().closeMs = 3000;  // gives up on it, it closes a moment later
  auto b = w().AddWindow(L"imwindowclass");
  auto c = w().AddWindow(L"imwindowclass");
  // It goes away just as the search looks past it.
  w().beforeLookup = [&] {
    auto& calls = w().calls;
    if (calls.back() == "FindWindowExA(" + Hex(slow) + ",imwindowclass)") {
      auto& ws = w().windows;
      ws.erase(std::remove_if(ws.begin(), ws.end(), [&](auto& x) { return x.handle == slow; }), ws.end());
    }
  };
  Remove();
  auto sent = w().CallsStartingWith("SendMessageTimeoutA");
  ASSERT_EQ(sent.size(), 3u) << Joined(w().calls);
  EXPECT_EQ(sent[1].substr(0, 20 + Hex(b).size()), "SendMessageTimeoutA(" + Hex(b));
  EXPECT_EQ(sent[2].substr(0, 20 + Hex(c).size()), "SendMessageTimeoutA(" + Hex(c));
}

TEST_F(RemovalTest, WindowsThatKeepComingAreLeftToTheTermination) {
  w().beforeLookup = [&] {
    w().clock += 100;
    w().AddWindow(L"imwindowclass");
    w().windows.back().ignoresClose = true;
  };
  w().AddProcess(200, "msnmsgr.exe");
  Remove();
  auto requests = w().CallsStartingWith("SendMessageTimeoutA").size() +
                  w().CallsStartingWith("PostMessageA(0x1").size();
  EXPECT_GT(requests, 10u);
  EXPECT_LT(requests, 150u) << "the step did not stop after 10 s";
  EXPECT_EQ(w().FindProcess(200), nullptr);
  EXPECT_EQ(Joined(Boxes()), "Complete:|Plugin has been successfully uninstalled.|64\n");
}

struct NameCase {
  std::wstring ink, infoPen;
  std::vector<std::string> commands;
};

class DisplayNameTest : public RemovalTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(DisplayNameTest, OnlyExactDisplayNamesStartTheirUninstall) {
  SetValue(InkPath, GetParam().ink);
  SetValue(InfoPenPath, GetParam().infoPen);
  Remove();
  std::vector<std::string> commands;
  for (const auto& s : w().started)
    if (s.showState == 1) commands.push_back(sim::Narrow(s.commandLine));
  EXPECT_EQ(Joined(commands), Joined(GetParam().commands));
  EXPECT_EQ(w().CallsStartingWith("SendEnterKey").size(), GetParam().commands.size());
}

INSTANTIATE_TEST_SUITE_P(
    Names, DisplayNameTest,
    ::testing::Values(NameCase{L"Ink", L"InfoPen for Outlook ", {InkCommand, InfoPenCommand}},
                      NameCase{L"ink", L"InfoPen for Outlook", {}},
                      NameCase{L"Ink ", L"InfoPen for Outlook  ", {}},
                      NameCase{L"", L"InfoPen for Outlook Express", {}},
                      NameCase{L"INK", L"InfoPen for Outlook ", {InfoPenCommand}},
                      NameCase{L"Ink", L"", {InkCommand}}));

TEST_F(RemovalTest, NoEnterWhenTheInstallerNeverTakesTheFocus) {
  w().installerTakesFocus = false;
  Remove();
  EXPECT_EQ(w().CallsStartingWith("WaitForFocusInProcess").size(), 2u);
  EXPECT_EQ(w().CallsStartingWith("SendEnterKey").size(), 0u);
  EXPECT_EQ(Joined(Boxes()), "Complete:|Plugin has been successfully uninstalled.|64\n");
}

TEST_F(RemovalTest, LibraryPathIsPluginDirThenBackslashThenName) {
  SetValue(PluginDirPath, L"C:\\P\\");
  w().files.insert(L"C:\\P\\\\MsnScribbit.dll");
  Remove();
  EXPECT_EQ(w().CallsStartingWith("Kill").front(), "Kill(C:\\P\\\\MsnScribbit.dll)");
  EXPECT_EQ(w().files.count(L"C:\\P\\\\MsnScribbit.dll"), 0u);
}

TEST_F(RemovalTest, EmptyPluginDirLooksInTheRootAndReportsAbsence) {
  SetValue(PluginDirPath, L"");
  Remove();
  EXPECT_EQ(w().CallsStartingWith("Kill").front(), "Kill(\\MsnScribbit.dll)");
  EXPECT_EQ(Joined(Boxes()),
            "Error:|MSN Scribbit for Messenger Plus! doesn't exist on this computer.|64\n");
  EXPECT_EQ(w().files.count(Library), 1u);
}

TEST_F(RemovalTest, MessengerCommandIsTheDirectoryFollowedByTheExeName) {
  SetValue(MessengerDirPath, L"C:\\Program Files\\MSN Messenger\\");
  Remove();
  EXPECT_EQ(Started().back(),
            "C:\\Program Files\\MSN Messenger\\msnmsgr.exe|\"C:\\Program Files\\MSN Messenger\\msnmsgr.exe\"|2");
}

TEST_F(RemovalTest, EmptyMessengerDirStartsNoMessengerAtAll) {
  SetValue(MessengerDirPath, L"");
  Remove();
  EXPECT_EQ(Joined(Boxes()), "Complete:|Plugin has been successfully uninstalled.|64\n");
  EXPECT_EQ(Started().size(), 2u) << "only the two uninstalls: " << Joined(Started());
  EXPECT_EQ(w().calls.back(), "End");
}

TEST_F(RemovalTest, MissingLibraryIsReportedAndMessengerStillStarts) {
  w().files.clear();
  Remove();
  EXPECT_EQ(Joined(Boxes()),
            "Error:|MSN Scribbit for Messenger Plus! doesn't exist on this computer.|64\n");
  EXPECT_EQ(Started().back(), "C:\\M\\msnmsgr.exe|\"C:\\M\\msnmsgr.exe\"|2");
  EXPECT_EQ(w().CallsStartingWith("Shell(C:\\M\\").size(), 1u);
  EXPECT_EQ(w().calls.back(), "End");
}

// Who deletes what with which rights, as the first copy sees it (with /log, or
// /quiet): the token, what the removal needs, and how each copy with raised
// rights that it asks for ends. The removal copy's code packs the library's
// code with each uninstall's kind (1 removed, 3 busy), from bit 16.
TEST_F(RemovalTest, RightsTokensAndWhatTheRemovalNeeds) {
  enum Token { Limited, Elevated, System, XP };
  enum Need { Package, Refused, Loaded, ReadOnly, HeldOpen };
  const std::string name = "MSN Scribbit for Messenger Plus! ", done = "Complete:|Plugin has been successfully uninstalled.",
                    inUse = "Complete:|" + name + "is in use and will be removed when Windows restarts.",
                    denied = "Error:|" + name + "could not be removed: Access is denied.",
                    cancelled = "Error:|" + name + "could not be removed: The operation was canceled by the user.";
  struct Case { Token token; Need need; bool quiet; unsigned long copyExit, copyError; bool shell;
                const char* asks; std::string box; unsigned code; const char* library, *messenger; };
  int row = 0;
  for (const Case& c : std::vector<Case>{
           // Asked at the click, before anything changes: the copy does it all.
           {Limited, Package, false, 1u << 16, 0, true, "/removewithrights", done, 0, "kept", "own"},
           {Limited, Refused, false, 0, 0, true, "/removewithrights", done, 0, "kept", "own"},
           {Limited, Package, false, 3010 | 3u << 16, 0, true, "/removewithrights", inUse, 1618, "kept", "own"},
           {Limited, Package, false, 0xC0000005, 0, true, "/removewithrights",
            "Error:|" + name + "could not be removed: Error 3221225477.", 1603, "kept", "own"},
           {Limited, Package, false, 0, 1223, true, "/removewithrights", cancelled, 1603, "kept", "none"},
           // Known only when the loaded library cannot be scheduled: asked then.
           {Limited, Loaded, false, 3010, 0, true, "/deletelibrary", inUse, 3010, "kept", "own"},
           {Limited, HeldOpen, false, 3010, 0, true, "/deletelibrary", inUse, 3010, "kept", "own"},
           {Limited, ReadOnly, false, 0, 0, true, "", done, 0, "gone", "own"},
           {Limited, Package, true, 0, 0, true, "", "", 0, "gone", "own"},
           {Limited, Refused, true, 0, 0, true, "", "", 1603, "kept", "own"},
           {Elevated, Package, false, 0, 0, true, "", done, 0, "gone", "user"},
           {Elevated, Package, false, 0, 0, false, "", done, 0, "gone", "none"},  // no desktop shell
           {Elevated, Loaded, false, 0, 0, true, "", inUse, 3010, "scheduled", "user"},
           {Elevated, HeldOpen, true, 0, 0, true, "", "", 3010, "scheduled", "user"},
           {Elevated, ReadOnly, true, 0, 0, true, "", "", 0, "gone", "user"},
           {Elevated, Refused, false, 0, 0, true, "", denied, 1603, "kept", "user"},
           {System, Loaded, true, 0, 0, true, "", "", 3010, "scheduled", "user"},
           {System, ReadOnly, false, 0, 0, true, "", done, 0, "gone", "user"},
           {XP, Refused, false, 0, 0, true, "", denied, 1603, "kept", "own"},
           {XP, Package, false, 0, 0, true, "", done, 0, "gone", "own"},
           {XP, Loaded, true, 0, 0, true, "", "", 3010, "scheduled", "own"}}) {
    SetUp();
    SCOPED_TRACE("row " + std::to_string(++row));
    w().AddProcess(200, "msnmsgr.exe");
    if (c.need != Package) {
      SetValue(InkPath, L"");
      SetValue(InfoPenPath, L"");
    }
    if (c.need == Refused) w().deleteRefused.insert(Library);
    if (c.need == Loaded) w().loadedFiles.insert(Library);
    if (c.need == ReadOnly) w().readOnlyFiles.insert(Library);
    if (c.need == HeldOpen) w().fileDeleteErrors[Library] = 32;
    // Scheduling writes under HKLM: an administrator's right.
    if (c.token == Limited) w().delayUntilRebootError = 5;
    w().version.dwMajorVersion = c.token == XP ? 5 : 10;
    w().tokenElevated = c.token != Limited;
    w().localSystem = c.token == System;
    w().desktopShell = c.shell;
    w().elevatedExitCode = c.copyExit;
    w().elevationError = c.copyError;
    w().arguments = c.quiet ? std::vector<std::wstring>{L"/quiet"} : std::vector<std::wstring>{L"/log", L"C:\\r.log"};
    if (c.quiet) EXPECT_FALSE(sim::StartProgram()); else Remove();
    const auto steps = Steps();
    const std::string asked = *c.asks == 0 ? "" : "ShellExecuteExRunAs(" + std::string(c.asks) + ")";
    EXPECT_EQ(Joined(w().CallsStartingWith("ShellExecuteExRunAs")), asked.empty() ? "" : asked + "\n");
    if (std::string(c.asks) == "/removewithrights") {
      EXPECT_EQ(steps.at(0), asked) << "asked before the window goes";
      EXPECT_EQ(Joined(w().CallsStartingWith("TerminateProcess")) + Joined(w().CallsStartingWith("Kill")), "")
          << "this copy closes, ends and deletes nothing itself";
    }
    EXPECT_EQ(Joined(Boxes()), c.box.empty() ? "" : c.box + "|64\n");
    EXPECT_EQ(w().exitCode, c.code);
    EXPECT_EQ(w().files.count(Library) == 0 ? "gone" : w().deletedAtRestart.empty() ? "kept" : "scheduled",
              std::string(c.library));
    EXPECT_EQ(w().readOnlyFiles.count(Library), 0u) << "read-only kept only on a library that stays";
    std::string messenger = "none";
    for (const auto& s : w().started)
      if (s.program == L"C:\\M\\msnmsgr.exe") messenger = s.asDesktopUser ? "user" : "own";
    EXPECT_EQ(messenger, c.messenger);
  }
}

// The copy that carries out the removal with raised rights: every step but
// the report and Messenger, Windows Installer's prompts confirmed as for a
// person, and the outcome in its exit code.
TEST_F(RemovalTest, CopyWithRightsRemovesAndReportsByExitCode) {
  w().AddProcess(200, "msnmsgr.exe");
  w().readOnlyFiles.insert(Library);
  w().arguments = {L"/removewithrights"};
  EXPECT_FALSE(sim::StartProgram());
  EXPECT_EQ(w().exitCode, 1u << 16 | 1u << 19) << "library deleted, both packages removed";
  EXPECT_EQ(w().files.count(Library), 0u);
  EXPECT_EQ(Joined(w().CallsStartingWith("TerminateProcess")), "TerminateProcess(200,0)\n");
  EXPECT_EQ(w().CallsStartingWith("SendEnterKey").size(), 2u);
  EXPECT_EQ(Joined(Boxes()) + Joined(w().CallsStartingWith("Shell(C:\\M")), "") << "no box, no Messenger";
}

TEST_F(RemovalTest, MessengerThatCannotStartAfterSuccessIsReportedOnce) {
  SetValue(MessengerDirPath, L"C:\\M");  // gives C:\Mmsnmsgr.exe
  w().unstartable.insert(L"c:\\mmsnmsgr.exe");
  Remove();
  EXPECT_EQ(Joined(Boxes()), "Complete:|Plugin has been successfully uninstalled.|64\n");
  EXPECT_EQ(w().CallsStartingWith("Shell(C:\\Mmsnmsgr.exe").size(), 1u) << "Messenger tried twice";
  ASSERT_EQ(w().reportedFailures.size(), 1u);
  EXPECT_EQ(sim::Narrow(w().reportedFailures[0]), "The system cannot find the file specified.");
  EXPECT_EQ(w().files.count(Library), 0u);
}

TEST_F(RemovalTest, MessengerThatCannotStartAfterAbsenceIsReported) {
  w().files.clear();
  w().unstartable.insert(L"c:\\m\\msnmsgr.exe");
  Remove();
  EXPECT_EQ(Joined(Boxes()),
            "Error:|MSN Scribbit for Messenger Plus! doesn't exist on this computer.|64\n");
  EXPECT_EQ(w().reportedFailures.size(), 1u);
}

TEST_F(RemovalTest, UninstallThatCannotStartEndsBeforeTheLibraryIsTouched) {
  w().unstartable.insert(L"c:\\windows\\system32\\msiexec.exe");
  Remove();
  EXPECT_TRUE(w().messageBoxes.empty());
  ASSERT_EQ(w().reportedFailures.size(), 1u);
  EXPECT_TRUE(w().CallsStartingWith("Kill").empty());
  EXPECT_EQ(w().files.count(Library), 1u);
  EXPECT_TRUE(w().started.empty()) << "Messenger was started";
}

TEST_F(RemovalTest, AbandonedProcessScanStillCompletesTheRemoval) {
  w().snapshotMissing = true;
  w().AddProcess(200, "msnmsgr.exe");
  Remove();
  EXPECT_FALSE(ProcessKilled);
  EXPECT_EQ(w().CallsStartingWith("PostMessageA").size(), 1u);
  EXPECT_EQ(Joined(Boxes()), "Complete:|Plugin has been successfully uninstalled.|64\n");
}

TEST(CommandLineTest, SwitchesInAnyCaseWithSlashOrDash) {
  // valid quiet preview help deletelibrary log
  struct Case { std::vector<std::wstring> args; const char* parsed; };
  for (const Case& c : std::vector<Case>{{{L"/quiet"}, "11000-"},
                                         {{L"-QUIET", L"/Log", L"C:\\a b.log"}, "11000C:\\a b.log"},
                                         {{L"-Preview", L"/?"}, "10110-"},
                                         {{L"/log"}, "00000-"}, {{L"/log", L""}, "00000-"},
                                         {{L"quiet"}, "00000-"}, {{L"/"}, "00000-"},
                                         {{L"/quiet", L"/x"}, "01000-"},
                                         {{L"/DELETELIBRARY"}, "10001-"},
                                         {{L"/deletelibrary", L"/quiet"}, "01001-"},
                                         {{L"/log", L"/quiet"}, "01000-"}, {{L"-log", L"-a.log"}, "00000-"}}) {
    CommandLine line = ParseCommandLine(c.args);
    std::string parsed = std::to_string(line.valid) + std::to_string(line.quiet) +
                         std::to_string(line.preview) + std::to_string(line.help) +
                         std::to_string(line.deleteLibrary) +
                         (line.logPath.empty() ? "-" : sim::Narrow(line.logPath));
    EXPECT_EQ(parsed, c.parsed) << sim::Narrow(c.args.front());
  }
}

TEST(ExitCodeTest, WorstOfLibraryAndUninstalls) {
  using enum LibraryOutcome;
  struct Case { LibraryOutcome library; std::vector<unsigned long> uninstalls; unsigned code; };
  for (const Case& c : std::vector<Case>{
           {Deleted, {}, 0}, {Deleted, {0, 1605}, 0}, {Deleted, {3010, 0}, 3010}, {Deleted, {1641}, 3010},
           {Deleted, {1618, 3010}, 1618}, {Deleted, {1603, 1618}, 1603}, {Deleted, {259}, 1603},
           {Absent, {}, 1605}, {Absent, {1605, 1605}, 1605}, {Absent, {0}, 0}, {Absent, {3010}, 3010},
           {NotDeleted, {0}, 1603}, {NotDeleted, {1618}, 1603}, {Scheduled, {}, 3010},
           {Scheduled, {0, 1605}, 3010}, {Scheduled, {1618}, 1618}, {Scheduled, {1603}, 1603}})
    EXPECT_EQ(FoldExitCode(c.library, c.uninstalls), c.code)
        << static_cast<int>(c.library) << " " << c.uninstalls.size();
}

}  // namespace
