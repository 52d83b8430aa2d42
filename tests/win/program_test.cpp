// The real program: single instance, always on top, translucency on XP.
// SCRIBBIT_EXE names the built program.
#include <fstream>

#include "win_test_support.h"

namespace {

struct WindowSearch {
  DWORD id;
  const wchar_t* title;
  HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM data) {
  auto* s = reinterpret_cast<WindowSearch*>(data);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  wchar_t text[64] = {};
  GetWindowTextW(window, text, 64);
  if (owner == s->id && IsWindowVisible(window) && (s->title == nullptr || wcscmp(text, s->title) == 0))
    s->found = window;
  return s->found == nullptr;
}

// A visible top-level window of the process, with the given title if any.
HWND VisibleWindow(DWORD processId, const wchar_t* title) {
  WindowSearch search{processId, title, nullptr};
  EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND FindMainWindow(DWORD processId) { return VisibleWindow(processId, L"MSN Scribbit Removal"); }
bool HasVisibleWindow(DWORD processId) { return VisibleWindow(processId, nullptr) != nullptr; }

void SetVersion(const wchar_t* version) {
  HKEY key;
  RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\ScribbitRemoval.exe", 0, nullptr,
                  0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  if (version != nullptr) {
    RegSetValueExW(key, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                   static_cast<DWORD>((wcslen(version) + 1) * sizeof(wchar_t)));
  } else {
    RegDeleteValueW(key, L"Version");
  }
  RegCloseKey(key);
}

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    exe_ = wintest::Env(L"SCRIBBIT_EXE");
    ASSERT_FALSE(exe_.empty()) << "SCRIBBIT_EXE is not set";
  }
  void TearDown() override { SetVersion(nullptr); }
  std::wstring exe_;
};

TEST_F(ProgramTest, SecondCopyEndsSilentlyAndTheFirstKeepsRunning) {
  SetVersion(L"win10");
  auto first = wintest::Start(exe_, L"");
  HWND window = nullptr;
  ASSERT_TRUE(wintest::WaitUntil([&] { return (window = FindMainWindow(first.id)) != nullptr; }, 15000));
  EXPECT_NE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
  EXPECT_EQ(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_LAYERED, 0) << "translucent on win10";
  RECT client;
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, 263);
  EXPECT_EQ(client.bottom, 119);

  auto second = wintest::Start(exe_, L"");
  bool shown = false;
  // Watch the second copy for a visible window until it has ended.
  bool ended = wintest::WaitUntil(
      [&] {
        shown = shown || HasVisibleWindow(second.id);
        return WaitForSingleObject(second.process.get(), 0) == WAIT_OBJECT_0;
      },
      15000);
  EXPECT_TRUE(ended) << "the second copy did not end";
  EXPECT_FALSE(shown) << "the second copy showed a window";
  EXPECT_EQ(wintest::ExitCode(second.process.get()), 0u);

  EXPECT_EQ(WaitForSingleObject(first.process.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_TRUE(IsWindowVisible(window));
  TerminateProcess(first.process.get(), 0);
  WaitForSingleObject(first.process.get(), 5000);
}

TEST_F(ProgramTest, OnWindowsXpTheWindowIsTopmostAndTranslucent) {
  SetVersion(L"winxp");
  auto first = wintest::Start(exe_, L"");
  HWND window = nullptr;
  ASSERT_TRUE(wintest::WaitUntil([&] { return (window = FindMainWindow(first.id)) != nullptr; }, 15000));
  LONG style = GetWindowLongW(window, GWL_EXSTYLE);
  EXPECT_NE(style & WS_EX_TOPMOST, 0) << std::hex << style;
  EXPECT_NE(style & WS_EX_LAYERED, 0) << std::hex << style;
  BYTE alpha = 0;
  DWORD flags = 0;
  EXPECT_TRUE(GetLayeredWindowAttributes(window, nullptr, &alpha, &flags));
  EXPECT_EQ(alpha, 200);
  TerminateProcess(first.process.get(), 0);
  WaitForSingleObject(first.process.get(), 5000);
}

}  // namespace

namespace {

// Presses and releases the left button at a client point of the window.
void ClickAt(HWND window, int x, int y) {
  PostMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
  PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
  PostMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}

TEST_F(ProgramTest, MinimiseGlyphMinimisesAndCloseGlyphEnds) {
  SetVersion(L"win10");
  auto first = wintest::Start(exe_, L"");
  HWND window = nullptr;
  ASSERT_TRUE(wintest::WaitUntil([&] { return (window = FindMainWindow(first.id)) != nullptr; }, 15000));
  ClickAt(window, 238, 7);
  EXPECT_TRUE(wintest::WaitUntil([&] { return IsIconic(window) != FALSE; }, 5000)) << "not minimised";
  ShowWindow(window, SW_RESTORE);
  EXPECT_TRUE(wintest::WaitUntil([&] { return IsIconic(window) == FALSE; }, 5000));
  ClickAt(window, 252, 7);
  EXPECT_EQ(WaitForSingleObject(first.process.get(), 10000), WAIT_OBJECT_0);
  EXPECT_EQ(wintest::ExitCode(first.process.get()), 0u);
}

}  // namespace

namespace {

HWND FindAbout(DWORD processId) { return VisibleWindow(processId, L"About"); }

TEST_F(ProgramTest, AboutReplacesTheMainWindowTopmostAndTranslucentOnXp) {
  SetVersion(L"winxp");
  auto program = wintest::Start(exe_, L"");
  HWND main = nullptr;
  ASSERT_TRUE(wintest::WaitUntil([&] { return (main = FindMainWindow(program.id)) != nullptr; }, 15000));
  ClickAt(main, 40, 102);  // "About"
  HWND about = nullptr;
  ASSERT_TRUE(wintest::WaitUntil([&] { return (about = FindAbout(program.id)) != nullptr; }, 10000));
  EXPECT_FALSE(IsWindow(main)) << "the main window was not closed";
  LONG style = GetWindowLongW(about, GWL_EXSTYLE);
  EXPECT_NE(style & WS_EX_TOPMOST, 0) << std::hex << style;
  BYTE alpha = 0;
  EXPECT_TRUE(GetLayeredWindowAttributes(about, nullptr, &alpha, nullptr));
  EXPECT_EQ(alpha, 200);
  RECT client;
  GetClientRect(about, &client);
  EXPECT_EQ(client.right, 263);
  EXPECT_EQ(client.bottom, 119);
  TerminateProcess(program.process.get(), 0);
  WaitForSingleObject(program.process.get(), 5000);
}

// A fault nothing catches (a thread of the program's started where there is no code): the window
// hidden, the failure report, the log's line, then exit code 1, or 1603 with a switch. (A stack
// overflow cannot be shown here: Wine 8 calls no unhandled-exception filter for one.)
TEST_F(ProgramTest, AFaultEndsWithTheFailureReportAndWithSwitches1603) {
  const std::wstring log = wintest::TempDir(L"fault") + L"\\run.log", logged = L"/log \"" + log + L"\"";
  struct Case { std::wstring arguments; const char* line; };
  for (const Case& c : {Case{L"", ""}, Case{logged, "failed: Unexpected failure (exception 0xc0000005)."}}) {
    DeleteFileW(log.c_str());
    auto program = wintest::Start(exe_, c.arguments);
    HWND report = nullptr, main = nullptr;
    ASSERT_TRUE(wintest::WaitUntil([&] { return (main = FindMainWindow(program.id)) != nullptr; }, 15000));
    CloseHandle(CreateRemoteThread(program.process.get(), nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(16), nullptr, 0, nullptr));
    ASSERT_TRUE(wintest::WaitUntil([&] { return (report = FindWindowW(L"#32770", L"MSN Scribbit Removal")) != nullptr; }, 15000));
    EXPECT_TRUE(wintest::WaitUntil([&] { return !IsWindowVisible(main); }, 5000)) << "the main window is still shown";
    PostMessageW(report, WM_COMMAND, IDOK, 0);
    ASSERT_EQ(WaitForSingleObject(program.process.get(), 10000), WAIT_OBJECT_0);
    EXPECT_EQ(wintest::ExitCode(program.process.get()), c.arguments.empty() ? 1u : 1603u);
    std::ifstream file(log.c_str());
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find(c.line), std::string::npos) << "log: " << text;
  }
}

}  // namespace
