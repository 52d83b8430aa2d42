// The removal, driven through the "Remove" button of the main window on the
// simulated system: its sequence, the display-name rules, the paths it builds
// and every outcome.
#include <algorithm>
#include <cstring>
#include <functional>

#include "forms/frmMain.h"
#include "modules/Outcome.h"
#include "modules/StartUp.h"
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
// code with each uninstall's kind (1 removed, 2 restart, 3 busy, 6 none such), from bit 16.
TEST_F(RemovalTest, RightsTokensAndWhatTheRemovalNeeds) {
  enum Token { Limited, Elevated, System, XP, XPSystem };
  enum Need { Package = 1, Refused = 2, Loaded = 4, ReadOnly = 8, HeldOpen = 16, Absent = 32, Redirected = 64, Pending = 128 };
  const std::string name = "MSN Scribbit for Messenger Plus! ", done = "Complete:|Plugin has been successfully uninstalled.",
                    inUse = "Complete:|" + name + "is in use and will be removed when Windows restarts.",
                    denied = "Error:|" + name + "could not be removed: Access is denied.",
                    cancelled = "Error:|" + name + "could not be removed: The operation was canceled by the user.",
                    notDone = "Error:|" + name + "could not be removed: the copy with administrator rights ";
  constexpr unsigned long M = 0x5Cu << 24;  // the mark of a code the copy chose
  struct Case { Token token; int need; bool quiet; unsigned long copyExit, copyError; bool shell;
                const char* asks; std::string box; unsigned code; const char* library, *messenger; };
  int row = 0;
  for (const Case& c : std::vector<Case>{
           // Asked at the click, before anything changes: the copy does it all.
           {Limited, Package, false, M | 1u << 16, 0, true, "/removewithrights", done, 0, "kept", "own"},
           {Limited, Refused, false, M, 0, true, "/removewithrights", done, 0, "kept", "own"},
           {Limited, Package, false, M | 3010 | 3u << 16, 0, true, "/removewithrights",
            inUse + "|64\nError:|\"Ink\" was not removed: Error 1618.", 1618, "kept", "own"},
           {Limited, Package, false, M | 1u << 16 | 2u << 19, 0, true, "/removewithrights", done, 3010, "kept", "own"},
           {Limited, Package, false, M | 6u << 16, 0, true, "/removewithrights",
            done + "|64\nError:|\"Ink\" was not removed: Error 1603.", 1603, "kept", "own"},
           // Not marked: ended from outside, or by a fault; still running; a failure's own reason.
           {Limited, Package, false, 0, 0, true, "/removewithrights", notDone + "ended unexpectedly, with exit code 0.", 1603, "kept", "own"},
           {Limited, Package, false, 0xC0000005, 0, true, "/removewithrights",
            notDone + "ended unexpectedly, with exit code 3221225477.", 1603, "kept", "own"},
           {Limited, Package, false, 259, 0, true, "/removewithrights", notDone + "did not finish in time.", 1603, "kept", "own"},
           {Limited, Package, false, M | 1u << 23 | 2, 0, true, "/removewithrights",
            "Error:|" + name + "could not be removed: The system cannot find the file specified.", 1603, "kept", "own"},
           {Limited, Package, false, 0, 1223, true, "/removewithrights", cancelled, 1603, "kept", "none"},
           // Known only when the loaded library cannot be scheduled: asked then.
           {Limited, Loaded, false, M | 3010, 0, true, "/deletelibrary", inUse, 3010, "kept", "own"},
           {Limited, HeldOpen, false, M | 3010, 0, true, "/deletelibrary", inUse, 3010, "kept", "own"},
           {Limited, HeldOpen, false, 0, 0, true, "/deletelibrary", notDone + "ended unexpectedly, with exit code 0.", 1603, "kept", "own"},
           {Limited, ReadOnly, false, 0, 0, true, "", done, 0, "gone", "own"},
           {Limited, Absent, false, 0, 0, true, "", "Error:|" + name + "doesn't exist on this computer.", 1605, "gone", "own"},
           {Limited, Package, true, 0, 0, true, "", "", 0, "gone", "own"},
           {Limited, Refused, true, 0, 0, true, "", "", 1603, "kept", "own"},
           {Elevated, Package, false, 0, 0, true, "", done, 0, "gone", "user"},
           {Elevated, Package, false, 0, 0, false, "", done + "|64\nMSN Scribbit Removal|Error 1168.|16", 0, "gone",
            "none"},  // no desktop shell: told that Messenger did not start
           {Elevated, Loaded, false, 0, 0, true, "", inUse, 3010, "scheduled", "user"},
           {Elevated, HeldOpen, true, 0, 0, true, "", "", 3010, "scheduled", "user"},
           {Elevated, ReadOnly, true, 0, 0, true, "", "", 0, "gone", "user"},
           {Elevated, Refused, false, 0, 0, true, "", denied, 1603, "kept", "user"},
           {Elevated, ReadOnly | Refused, true, 0, 0, true, "", "", 1603, "kept", "user"},
           {Elevated, ReadOnly | Loaded, false, 0, 0, true, "", inUse, 3010, "scheduled", "user"},
           {System, Loaded, true, 0, 0, true, "", "", 3010, "scheduled", "user"},
           {System, Loaded | Pending, true, 0, 0, true, "", "", 3010, "scheduled", "user"},  // listed once, not twice
           {System, ReadOnly, false, 0, 0, true, "", done, 0, "gone", "user"},
           // A folder on the library's path redirected elsewhere: refused where Windows can tell.
           {Elevated, Redirected, false, 0, 0, true, "", "Error:|" + name + "could not be removed: Error 1921.", 1603, "kept", "user"},
           {XP, Redirected, false, 0, 0, true, "", done, 0, "gone", "own"},
           {XP, Refused, false, 0, 0, true, "", denied, 1603, "kept", "own"},
           {XP, Package, false, 0, 0, true, "", done, 0, "gone", "own"},
           {XP, Loaded, true, 0, 0, true, "", "", 3010, "scheduled", "own"},
           {XPSystem, Package, true, 0, 0, true, "", "", 0, "gone", "user"}}) {
    SetUp();
    SCOPED_TRACE("row " + std::to_string(++row));
    w().AddProcess(200, "msnmsgr.exe");
    if ((c.need & Package) == 0) {
      SetValue(InkPath, L"");
      SetValue(InfoPenPath, L"");
    }
    if (c.need & Refused) w().deleteRefused.insert(Library);
    if (c.need & Loaded) w().loadedFiles.insert(Library);
    if (c.need & ReadOnly) w().readOnlyFiles.insert(Library);
    if (c.need & HeldOpen) w().fileDeleteErrors[Library] = 32;
    if (c.need & Absent) w().files.clear();
    if (c.need & Pending) w().deletedAtRestart.push_back(L"c:\\p\\MSNSCRIBBIT.DLL");  // by an earlier run
    if (c.need & Redirected) w().resolvedPaths[Library] = L"\\\\?\\C:\\WINDOWS\\system32\\MsnScribbit.dll";
    // Scheduling writes under HKLM: an administrator's right.
    if (c.token == Limited) w().delayUntilRebootError = w().eventSourceError = 5;
    w().version.dwMajorVersion = c.token >= XP ? 5 : 10;
    w().tokenElevated = c.token != Limited;
    w().localSystem = c.token == System || c.token == XPSystem;
    w().desktopShell = c.shell;
    w().elevatedExitCode = c.copyExit;
    w().elevationError = c.copyError;
    // Lines as any process of the user could send them: each is logged as one line, cut to 1024 characters.
    w().copyLines = {L"a\r\nb", std::wstring(L"x\0y", 3), std::wstring(1030, L'z')};
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
    EXPECT_EQ(Joined(Boxes()), c.box.empty() ? "" : c.box + (c.box.ends_with("|16") ? "\n" : "|64\n"));
    EXPECT_EQ(w().exitCode, c.code);
    EXPECT_EQ(w().files.count(Library) == 0 ? "gone" : w().deletedAtRestart.empty() ? "kept" : "scheduled",
              std::string(c.library));
    EXPECT_LE(w().deletedAtRestart.size(), 1u) << "a deletion at restart listed once";
    EXPECT_EQ(w().readOnlyFiles.count(Library), c.library == std::string("kept") && (c.need & ReadOnly) ? 1u : 0u)
        << "read-only kept only on a library that stays";
    if (c.quiet) { EXPECT_EQ(Joined(w().CallsStartingWith("SendEnterKey")), "") << "a key pressed in a quiet run"; }
    std::string messenger = "none";
    for (const auto& s : w().started)
      if (s.program == L"C:\\M\\msnmsgr.exe") messenger = s.asDesktopUser ? "user" : "own";
    EXPECT_EQ(messenger, c.messenger);
    const bool copyRan = *c.asks != 0 && c.copyError == 0;
    EXPECT_EQ(w().log.find(L"a  b\r\n") != std::wstring::npos && w().log.find(L"x y\r\n") != std::wstring::npos &&
                  w().log.find(L" " + std::wstring(1024, L'z') + L" [cut]\r\n") != std::wstring::npos,
              copyRan && !c.quiet);
    EXPECT_EQ(DescribeRun(::Run, w().exitCode).text.find(L": deleted.") != std::wstring::npos,
              c.box.rfind(done, 0) == 0 || (c.quiet && c.library == std::string("gone")))
        << "the library's fate, as the event would tell it";
    // One event, of the code's kind; none where the source cannot be registered.
    const std::uint16_t type = c.code == 0 || c.code == 3010 ? 4 : 1;
    EXPECT_EQ(w().events.size() == 1 ? w().events[0].type : 0, c.token == Limited ? 0 : type);
    EXPECT_EQ(w().log.find(L" no Application event: registering its source needs administrator rights\r\n") !=
              std::wstring::npos, c.token == Limited && !c.quiet);
  }
}

// Who else is on the machine: the token (only LocalSystem gets a session's
// user token), a desktop or none (session 0), the session calls (missing on
// Windows 2000), Messenger's sessions, and a clean machine, a busy installer
// or another removal. Where: the copies on session desktops ("c1"), then
// where Messenger starts again ("s1": as that session's user).
TEST_F(RemovalTest, SessionsAndTheMachineDecideWhatIsTouched) {
  enum Token { Limited, Elevated, System };
  enum Machine { Installed, LibraryOnly, PackagesOnly, Clean, Busy, BusyLibraryOnly, Another };
  const std::string busy = "Error:|MSN Scribbit for Messenger Plus! could not be removed: Error 1618.|64\n";
  struct Case { Token token; bool desktop, calls, quiet; std::vector<std::uint32_t> sessions; Machine machine;
                unsigned code; std::string box; std::size_t asked, ended; std::string where; };
  int row = 0;
  for (const Case& c : std::vector<Case>{
           {System, false, true, true, {1, 2}, Installed, 0, "", 0, 0, "c1 c2 s1 s2 "},  // the copies end them
           {System, false, true, true, {2, 2}, LibraryOnly, 0, "", 0, 0, "c2 s2 "},
           {System, false, false, true, {1}, Installed, 0, "", 1, 1, ""},  // as ever, here only
           {Elevated, false, true, true, {1}, Installed, 0, "", 1, 1, ""},
           {System, false, true, true, {}, Installed, 0, "", 1, 0, ""},
           {System, true, true, true, {1}, Installed, 0, "", 1, 1, "user "},
           {Limited, true, true, true, {1}, Installed, 0, "", 1, 1, "own "},
           {System, false, true, true, {1}, Clean, 1605, "", 0, 0, ""},
           {Elevated, true, true, true, {1}, Clean, 1605, "", 0, 0, ""},
           {System, false, true, true, {1}, Busy, 1618, "", 0, 0, ""},
           {System, false, true, true, {1}, Another, 1618, "", 0, 0, ""},
           {Elevated, true, true, false, {1}, Busy, 0, busy, 0, 0, ""},
           {Limited, true, true, false, {1}, Another, 0, busy, 0, 0, ""},
           {Limited, true, true, false, {1}, Clean, 0,  // a person keeps the sequence
            "Error:|MSN Scribbit for Messenger Plus! doesn't exist on this computer.|64\n", 1, 1, "own "},
           {System, false, true, true, {1}, BusyLibraryOnly, 0, "", 0, 0, "c1 s1 "},  // busy only with a package
           {Elevated, true, true, true, {1}, PackagesOnly, 0, "", 1, 1, "user "}}) {  // packages alone: removed
    SetUp();
    SCOPED_TRACE("row " + std::to_string(++row));
    w().AddWindow(L"imwindowclass", L"Conversation 1");
    for (std::uint32_t session : c.sessions) {
      w().AddProcess(200 + static_cast<std::uint32_t>(w().processes.size()), "msnmsgr.exe");
      w().processes.back().session = session;
      if (c.token == System) w().sessionUsers[session] = L"PC\\user";
    }
    if (c.machine == LibraryOnly || c.machine == BusyLibraryOnly || c.machine == Clean)
      SetValue(InkPath, L""), SetValue(InfoPenPath, L"");
    if (c.machine == Clean || c.machine == PackagesOnly) w().files.clear();
    w().installerBusy = c.machine == Busy || c.machine == BusyLibraryOnly;
    if (c.machine == Another) sim::AddNamedObject(RemovalLockName, platform::ObjectOwner::LocalSystem, L"NT AUTHORITY\\SYSTEM");
    w().tokenElevated = c.token != Limited;
    w().localSystem = c.token == System;
    w().userDesktop = c.desktop;
    w().sessionCalls = c.calls;
    w().arguments = c.quiet ? std::vector<std::wstring>{L"/quiet", L"/log", L"s.log"} : std::vector<std::wstring>{};
    if (c.quiet) EXPECT_FALSE(sim::StartProgram()); else Remove();
    std::string where;
    for (const auto& s : w().started)
      if (s.commandLine == L"\"C:\\D\\ScribbitRemoval.exe\" /sessionsteps" || s.program == L"C:\\M\\msnmsgr.exe")
        where += s.session == platform::NoSession ? (s.asDesktopUser ? "user " : "own ")
                 : (s.program == L"C:\\M\\msnmsgr.exe" ? "s" : "c") + std::to_string(s.session) + " ";
    EXPECT_EQ(where, c.where);
    EXPECT_EQ(std::to_string(w().exitCode) + "|" + Joined(Boxes()), std::to_string(c.code) + "|" + c.box);
    EXPECT_EQ(w().CallsStartingWith("SendMessageTimeoutA").size(), c.asked) << "windows asked here";
    EXPECT_EQ(w().CallsStartingWith("TerminateProcess").size(), c.ended);
    if (c.quiet && c.asked > 0) {
      EXPECT_EQ(w().log.find(L"this desktop only") != std::wstring::npos, !c.desktop) << "the broadcast's reach, as logged";
    }
    EXPECT_EQ(w().files.empty(), c.machine != Busy && c.machine != Another) << "library deleted only by a removal";
  }
}

// Whole removals in the worlds where sessions and named objects decide: the
// one-copy check and the removal lock never meet, whatever the session or the
// Windows; from session 0 each user's session is on its own, and all the
// copies there share one bound. `where` as above; `logged`: lines the log
// must hold, in order.
TEST_F(RemovalTest, WorldsOfSessionsAndNamedObjects) {
  using platform::ObjectOwner;
  const std::string removed = "Complete:|Plugin has been successfully uninstalled.|64\n";
  struct World { const char* name; std::function<void(sim::World&)> make; bool quiet; std::vector<std::uint32_t> sessions;
                 unsigned code; std::string box, where; std::vector<std::string> logged; std::uint32_t waitedMs; };
  const auto system0 = [](sim::World& w) { w.localSystem = true, w.userDesktop = false, w.thisSession = 0; };
  const std::string copy2 = "session 2 (PC\\user2): asked 1 conversation windows to close, ended 1 Messenger processes";
  for (const World& c : std::vector<World>{
           {"LocalSystem in session 0, Windows 10",
            [&](sim::World& w) { system0(w), w.AddProcess(300, "MSNMSGR.EXE"), w.processes.back().session = 1; }, true,
            {1, 2}, 0, "", "c1 c2 s1 s2 ",
            {"session 1 (PC\\user1): asked 1 conversation windows to close, ended 2 Messenger processes", copy2,
             "session 1 (PC\\user1): started Messenger", "session 2 (PC\\user2): started Messenger"}, 0},
           {"the XP console user in session 0, a click",
            [](sim::World& w) { w.version = {148, 5, 1, 2600, 2, {}}, w.thisSession = 0; }, false, {0}, 0, removed, "own ", {}, 0},
           {"Windows 2000 without Terminal Services, a click",
            [](sim::World& w) { w.version = {148, 5, 0, 2195, 2, {}}, w.sessionCalls = false; }, false, {0}, 0, removed, "own ",
            {}, 0},
           {"a terminal server, the user of session 2 signs out meanwhile",
            [&](sim::World& w) { system0(w), w.signsOutAfterCopy = {2}; }, true, {1, 2, 3}, 0, "", "c1 c2 c3 s1 s3 ",
            {copy2, "session 2 (PC\\user2): Messenger not started: its user has signed out"}, 0},
           {"one session's token refused, another's environment: the others still visited",
            [&](sim::World& w) { system0(w), w.sessionUsers.erase(2), w.noEnvironment = {3}; }, true, {1, 2, 3}, 0, "",
            "c1 s1 ", {"session 2 (user unknown): no user's token: A required privilege is not held by the client.",
                       "session 3 (PC\\user3): no copy started on its desktop: Access is denied."}, 0},
           {"three copies that never end: one bound for all, each ended",
            [&](sim::World& w) { system0(w), w.sessionCopyRunsMs = {{1, sim::NeverEnds}, {2, sim::NeverEnds}, {3, sim::NeverEnds}}; },
            true, {1, 2, 3}, 0, "", "c1 c2 c3 s1 s2 s3 ",
            {"session 1 (PC\\user1): the copy on its desktop still ran after 30 s: ended",
             "session 3 (PC\\user3): the copy on its desktop still ran after 30 s: ended"}, 30000},
           {"a removal lock a standard user made first",
            [&](sim::World& w) { system0(w), sim::AddNamedObject(RemovalLockName, ObjectOwner::Other, L"PC\\guest"); }, true,
            {1}, 0, "", "c1 s1 ", {"passed over a removal lock made by PC\\guest"}, 0},
           {"a removal lock LocalSystem holds",
            [](sim::World&) { sim::AddNamedObject(RemovalLockName, ObjectOwner::LocalSystem, L"NT AUTHORITY\\SYSTEM"); },
            true, {1}, 1618, "", "", {"another removal is running on this computer"}, 0}}) {
    SetUp();
    SCOPED_TRACE(c.name);
    for (std::uint32_t session : c.sessions) {
      w().AddProcess(200 + session, "msnmsgr.exe");
      w().processes.back().session = session;
      w().AddWindow(L"imwindowclass", L"Conversation");
      w().windows.back().session = session;
      w().sessionUsers[session] = L"PC\\user" + std::to_wstring(session);
    }
    c.make(w());
    w().arguments = c.quiet ? std::vector<std::wstring>{L"/quiet", L"/log", L"s.log"} : std::vector<std::wstring>{};
    if (c.quiet) EXPECT_FALSE(sim::StartProgram()); else Remove();
    std::string where;
    for (const auto& s : w().started)
      if (s.program == L"C:\\D\\ScribbitRemoval.exe" || s.program == L"C:\\M\\msnmsgr.exe")
        where += s.session == platform::NoSession ? "own " : (s.program == L"C:\\M\\msnmsgr.exe" ? "s" : "c") + std::to_string(s.session) + " ";
    EXPECT_EQ(where, c.where);
    EXPECT_EQ(std::to_string(w().exitCode) + "|" + Joined(Boxes()), std::to_string(c.code) + "|" + c.box);
    EXPECT_EQ(w().files.empty(), c.code == 0) << "library deleted";
    std::size_t at = 0;
    for (const std::string& line : c.logged) {
      at = sim::Narrow(w().log).find(line, at);
      EXPECT_NE(at, std::string::npos) << line << "\n" << sim::Narrow(w().log);
    }
    // Every copy starts before the first wait; from the first start to the
    // last end, the copies took at most one bound.
    std::string order;
    std::uint32_t first = UINT32_MAX, last = 0;
    for (const std::string& call : w().calls)
      if (call.find("/sessionsteps") != std::string::npos || call.rfind("WaitForExitCode(", 0) == 0)
        order += call[0];
    EXPECT_EQ(order.find("WS"), std::string::npos) << order;
    for (const auto& s : w().started)
      if (s.commandLine.find(L"/sessionsteps") != std::wstring::npos)
        first = std::min(first, s.startedAt), last = std::max(last, s.endedAt);
    EXPECT_EQ(first == UINT32_MAX ? 0 : last - first, c.waitedMs);
  }
}

// The copy that carries out the removal with raised rights: every step but
// the report and Messenger, Windows Installer's prompts confirmed as for a
// person, and the outcome in its exit code.
TEST_F(RemovalTest, CopyWithRightsRemovesAndReportsByExitCode) {
  struct Case { std::vector<unsigned long> uninstalls; unsigned long code; };
  constexpr unsigned long M = 0x5Cu << 24;  // marked: a code the copy chose
  for (const Case& c : std::vector<Case>{{{0, 0}, M | 1u << 16 | 1u << 19},  // library deleted, both packages removed
                                         {{1641, 3010}, M | 2u << 16 | 2u << 19}, {{1618, 1605}, M | 3u << 16 | 4u << 19}}) {
    SetUp();
    w().AddProcess(200, "msnmsgr.exe");
    w().readOnlyFiles.insert(Library);
    w().arguments = {L"/removewithrights"};
    w().exitCodes = c.uninstalls;
    EXPECT_FALSE(sim::StartProgram());
    EXPECT_EQ(w().exitCode, c.code) << c.uninstalls[0];
    EXPECT_EQ(w().files.count(Library), 0u);
    EXPECT_EQ(Joined(w().CallsStartingWith("TerminateProcess")), "TerminateProcess(200,0)\n");
    EXPECT_EQ(w().CallsStartingWith("SendEnterKey").size(), 2u);
    EXPECT_EQ(Joined(Boxes()) + Joined(w().CallsStartingWith("Shell(C:\\M")), "") << "no box, no Messenger";
    EXPECT_EQ(w().events.size() + 10 * w().eventSources.size(), 10u) << "the source registered, no event of its own";
    EXPECT_EQ(Joined(w().CallsStartingWith("SendLineToParent(del")) + Joined(w().CallsStartingWith("SendLineToParent(result")),
              "SendLineToParent(deleted " + sim::Narrow(Library) + ")\n")
        << "its log lines go to the first copy, which alone writes the result line";
  }
}

// Messenger that cannot start, after a removal or an absence: the message, then one report.
TEST_F(RemovalTest, MessengerThatCannotStartIsReportedOnceAfterTheMessage) {
  for (bool absent : {false, true}) {
    SetUp();
    w().version.dwMajorVersion = 5;  // no raised rights: the person's own start
    if (absent) w().files.clear(); else SetValue(MessengerDirPath, L"C:\\M");  // gives C:\Mmsnmsgr.exe
    w().unstartable.insert(absent ? L"c:\\m\\msnmsgr.exe" : L"c:\\mmsnmsgr.exe");
    Remove();
    EXPECT_EQ(Joined(Boxes()), absent ? "Error:|MSN Scribbit for Messenger Plus! doesn't exist on this computer.|64\n"
                                      : "Complete:|Plugin has been successfully uninstalled.|64\n");
    EXPECT_EQ(w().CallsStartingWith(absent ? "Shell(C:\\M\\msnmsgr.exe" : "Shell(C:\\Mmsnmsgr.exe").size(), 1u)
        << "Messenger tried twice";
    ASSERT_EQ(w().reportedFailures.size(), 1u);
    EXPECT_EQ(sim::Narrow(w().reportedFailures[0]), "The system cannot find the file specified.");
    EXPECT_EQ(w().files.count(Library), 0u);
  }
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
                                         {{L"/sessionsteps"}, "10000-"}, {{L"/sessionsteps", L"/quiet"}, "01000-"},
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

// The event's type and id from the exit code, and its text from what the run did.
TEST(RunEventTest, TypeIdAndText) {
  struct Case { unsigned code; bool removal; unsigned long library; bool again; std::string event; std::wstring copyFailure; };
  const std::string library = ".|Library C:\\P\\MsnScribbit.dll: ", restart = "4 2 exit code 3010: a restart is needed";
  for (const Case& c : std::vector<Case>{
           {0, true, 0, false, "4 1 exit code 0: removed" + library + "deleted.", L""},
           {3010, true, 3010, false, restart + library + "in use, scheduled to be deleted when Windows restarts.", L""},
           {3010, true, 3010, true, restart + library + "in use, already scheduled to be deleted when Windows restarts.", L""},
           {1605, true, 1605, false, "2 3 exit code 1605: nothing to remove" + library + "not there.", L""},
           {1603, true, 5, false, "1 4 exit code 1603: failed" + library + "not deleted: Access is denied.", L""},
           // A copy with raised rights that did not finish left its library code at 0.
           {1603, true, 0, false, "1 4 exit code 1603: failed" + library + "not deleted: it was ended.", L"it was ended."},
           {1618, false, 0, false, "1 5 exit code 1618: another installation is in progress; retry later.|Arguments: /quiet", L""},
           {1639, false, 0, false, "1 6 exit code 1639: invalid command line.|Arguments: /quiet", L""},
           {0, false, 0, false, "4 7 exit code 0: nothing was changed.|Arguments: /quiet", L""}}) {
    const RunRecord run = c.removal ? RunRecord{true, true, L"C:\\P\\MsnScribbit.dll", c.library, c.again,
                                                {{L"{9FCB}", 1605}}, {1, 2}, L" /quiet", 0, c.copyFailure}
                                    : RunRecord{true, false, L"", 0, false, {}, {}, L" /quiet", 0, L""};
    const RunEvent event = DescribeRun(run, c.code);
    std::string text = sim::Narrow(event.text);
    for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;) text.replace(at, 2, "|");
    text = std::to_string(event.type) + " " + std::to_string(event.id) + " " + text.substr(text.find("exit code"));
    const std::string tail = "|Uninstall {9FCB}: exit code 1605.|Sessions reached: 1, 2.|Arguments: /quiet";
    EXPECT_EQ(text, c.event + (c.removal ? tail : ""));
  }
}

TEST(RunEventTest, ResultLineAndTimeStamp) {
  EXPECT_EQ(sim::Narrow(ResultLine(3010, 61250)), "result: exit code 3010, restart needed, 61.2 s");
  EXPECT_EQ(sim::Narrow(ResultLine(1603, 90)), "result: exit code 1603, no restart needed, 0.0 s");
  EXPECT_EQ(sim::Narrow(TimeStamp({2026, 12, 8, 7, 5, 9, -330})), "2026-12-08T07:05:09-05:30");
  EXPECT_EQ(sim::Narrow(TimeStamp({2026, 1, 31, 23, 0, 0, 0})), "2026-01-31T23:00:00+00:00");
}

}  // namespace

// The path Windows resolves for the open library, against the one it was opened by.
TEST(PathTest, ResolvedPathMustBeTheGivenOneLetterCaseAside) {
  for (auto [given, resolved, same] : std::vector<std::tuple<const wchar_t*, const wchar_t*, bool>>{
           {L"C:\\P\\MsnScribbit.dll", L"\\\\?\\C:\\p\\MSNSCRIBBIT.dll", true}, {L"C:\\P\\a.dll", L"C:\\P\\a.dll", true},
           {L"\\\\srv\\share\\a.dll", L"\\\\?\\UNC\\srv\\share\\a.dll", true},
           {L"C:\\P\\a.dll", L"\\\\?\\C:\\WINDOWS\\system32\\a.dll", false}, {L"C:\\P\\a.dll", L"\\\\?\\UNC\\C:\\P\\a.dll", false},
           {L"C:\\logs\\", L"\\\\?\\C:\\logs", true}, {L"C:\\", L"\\\\?\\C:\\", true}, {L"C:\\", L"\\\\?\\C:", false}})
    EXPECT_EQ(platform::IsSamePath(given, resolved), same) << sim::Narrow(given) << " " << sim::Narrow(resolved);
}

namespace {
// What /preview says of the library: the removal ends Messenger before it deletes.
TEST_F(RemovalTest, PreviewSaysWhatBecomesOfTheLibrary) {
  const std::string inUse = ": there, in use, to be deleted when Windows restarts";
  // Holders by process id (200 Messenger, 300 another program); 32: held open; 5: probe refused.
  for (auto [holders, error, said] : std::vector<std::tuple<std::vector<std::uint32_t>, unsigned long, std::string>>{
           {{}, 0, ": there, to be deleted"}, {{200}, 0, ": there, loaded by Messenger only, to be deleted once Messenger has ended"},
           {{300}, 0, inUse}, {{200, 300}, 0, inUse}, {{}, 32, inUse},
           {{}, 5, ": there; whether it is in use cannot be told (access denied)"}}) {
    SetUp();
    w().AddProcess(200, "msnmsgr.exe");
    w().AddProcess(300, "host.exe");
    if (!holders.empty()) w().loadedFiles.insert(Library), w().loadedBy[Library] = holders;
    if (error == 32) w().fileDeleteErrors[Library] = 32;
    if (error == 5) w().deleteRefused.insert(Library);
    w().arguments = {L"/preview"};
    EXPECT_FALSE(sim::StartProgram());
    EXPECT_NE(Joined(Boxes()).find("Library " + sim::Narrow(Library) + said + "\r\n"), std::string::npos) << Joined(Boxes());
  }
  // From session 0 Messenger comes back in the sessions where it runs, and only where their calls exist.
  for (bool calls : {true, false}) {
    SetUp();
    w().AddProcess(200, "msnmsgr.exe");
    w().userDesktop = false, w().sessionCalls = calls;
    w().arguments = {L"/preview", L"/quiet", L"/log", L"p.log"};
    EXPECT_FALSE(sim::StartProgram());
    EXPECT_EQ(w().log.find(L"Messenger to start again in the sessions where it runs") != std::wstring::npos, calls);
  }
}
}  // namespace
