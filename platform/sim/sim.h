// The simulated Windows that host tests set up and inspect.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/form.h"
#include "platform/platform.h"

namespace sim {

// Thrown by End() and ReportUnhandledFailure(): the program has ended.
struct ProgramEnded {
  int exitCode;
};

struct Process {
  std::uint32_t id;
  std::string exeFile;  // narrow, as the snapshot reports it
  bool canOpen = true;
  bool running = true;
  std::uint32_t exitCode = 259;  // STILL_ACTIVE
  std::uint32_t session = 1;
};

struct Window {
  platform::WindowHandle handle;
  std::wstring className;
  std::wstring caption;
  long exStyle = 0;
  bool topmost = false;
  int alpha = -1;  // -1: no layered attributes set
  bool visible = false;
  bool minimized = false;
  bool ignoresClose = false;  // answers WM_CLOSE and stays
  bool hung = false;          // never answers
  unsigned closeMs = 0;       // how long it takes to answer WM_CLOSE
  std::uint32_t session = 1;  // whose desktop it is on
};

struct MessageBoxShown {
  std::wstring text;
  int style;
  std::wstring title;
};

struct Started {
  std::wstring program;
  std::wstring commandLine;
  int showState;
  std::uint32_t processId;
  std::wstring currentDirectory;
  bool asDesktopUser = false;  // with the token of the desktop shell's owner
  std::uint32_t session = platform::NoSession;  // with that session's user's token
  std::uint32_t startedAt = 0;  // the tick count then
  std::uint32_t runsMs = 0;     // how long it runs; NeverEnds: until ended
  bool terminated = false;
  std::uint32_t terminatedWith = 0;
  std::uint32_t endedAt = 0;  // the tick count when a wait saw it end, or it was ended
};
inline constexpr std::uint32_t NeverEnds = 0xFFFFFFFF;

struct World {
  // Registry: full path (as RegRead takes it, "HKLM\...\Name") to value.
  std::map<std::wstring, platform::Variant> registry;
  bool automationMissing = false;
  std::set<std::wstring> unreadable;  // RegRead refuses these paths: access denied
  std::map<std::wstring, unsigned long> readFailures;  // RegRead fails on these paths with this code
  platform::VersionRecord version{148, 10, 0, 19045, 2, {}};
  bool versionFails = false;
  std::vector<Process> processes;
  bool snapshotMissing = false;           // the snapshot call raises
  int snapshotFailsAfterEntries = -1;     // Process32Next raises after this many
  std::vector<Window> windows;            // top-level windows, lookup order
  bool layeredWindowsMissing = false;
  bool leftButtonDown = true;
  bool highContrast = false;
  bool keyboardCues = false;  // SPI_GETKEYBOARDCUES: access keys always underlined
  std::set<std::wstring> files;           // existing files, by exact path
  std::map<std::wstring, unsigned long> fileDeleteErrors;  // path -> error on delete; 32: in use
  // As Windows answers a deletion: 5 for each, but only a file whose DELETE
  // open is refused is one this token may not delete.
  std::set<std::wstring> readOnlyFiles, loadedFiles, deleteRefused;
  std::map<std::wstring, std::vector<std::uint32_t>> loadedBy;  // path -> ids of processes that loaded it
  // Path -> the path Windows resolves it to (Vista on): another one is redirected.
  std::map<std::wstring, std::wstring> resolvedPaths;
  unsigned long delayUntilRebootError = 0;  // MoveFileEx fails with it (5: not an administrator)
  bool tokenElevated = true;                // as an administrator's token (TokenElevation; Vista on)
  // The copy started with raised rights: the exit code it ends with, or the
  // error starting it raises (1223: the person declined the prompt).
  unsigned long elevatedExitCode = 0;
  std::vector<std::wstring> copyLines;  // the lines it sends while it runs
  unsigned long elevationError = 0;
  bool localSystem = false;
  bool desktopShell = true;  // a process owns the shell's window or the taskbar
  std::vector<std::wstring> arguments;    // the program's command line, split
  std::set<std::wstring> unstartable;     // programs that fail to start
  bool installerTakesFocus = true;        // started installers show a focused prompt
  std::vector<unsigned long> exitCodes;   // of the started programs, in order; 0 past its end
  bool installerBusy = false;   // Global\_MSIExecute exists
  bool sessionCalls = true;     // false: Windows 2000 without Terminal Services
  std::uint32_t thisSession = 1;  // the program's own
  // Named kernel objects by the name Windows resolves them to (see
  // AddNamedObject), with their owners: a name the program creates gets this
  // token's owner (LocalSystem, an administrator's Administrators, else
  // the account).
  std::map<std::wstring, std::pair<platform::ObjectOwner, std::wstring>> namedObjects;
  std::wstring account = L"SIM\\tester";
  // The sessions whose user's token WTSQueryUserToken gives, by their users.
  std::map<std::uint32_t, std::wstring> sessionUsers;
  // How long the program's copy on a session's desktop runs (default 0);
  // sessions whose user signs out once that copy has ended; sessions whose
  // user's environment block cannot be made.
  std::map<std::uint32_t, std::uint32_t> sessionCopyRunsMs;
  std::set<std::uint32_t> signsOutAfterCopy, noEnvironment, signedOut;
  bool userDesktop = true;  // false: a service's window station, session 0
  std::wstring systemDirectory = L"C:\\WINDOWS\\system32";
  std::uint32_t clock = 0;  // TickCount; advanced by the time calls take
  std::map<std::wstring, std::wstring> eventSources;  // Application sources: their message files
  unsigned long eventSourceError = 0;  // registering a source fails with it (5: not an administrator)
  // Runs before each window lookup, for tests in which windows come and go
  // on their own.
  std::function<void()> beforeLookup;

  // What the program did.
  std::vector<std::string> calls;
  std::vector<MessageBoxShown> messageBoxes;
  std::vector<Started> started;
  std::vector<std::wstring> reportedFailures;
  std::vector<std::wstring> deletedAtRestart;  // scheduled with MoveFileEx
  struct Event { std::uint16_t type; std::uint32_t id; std::wstring text; };
  std::vector<Event> events;  // reported to the Application log
  std::wstring log;           // what was appended to files
  std::vector<std::pair<platform::WindowHandle, unsigned>> posted;
  bool ended = false;
  unsigned exitCode = 0;
  bool removedFromTaskList = false;

  Window* FindWindow(platform::WindowHandle handle);
  Process* FindProcess(std::uint32_t id);
  platform::WindowHandle AddWindow(const std::wstring& className, const std::wstring& caption = L"");
  void AddProcess(std::uint32_t id, const std::string& exeFile, bool canOpen = true);
  // Calls whose text starts with `prefix`, in order.
  std::vector<std::string> CallsStartingWith(const std::string& prefix) const;
};

// A named object some other process made, as `name` resolves from the
// program's session: in session 0 "Local\\" and "Global\\" are one namespace,
// elsewhere "Local\\" is the session's own; Windows 2000 without Terminal
// Services ignores both prefixes.
void AddNamedObject(const std::wstring& name, platform::ObjectOwner owner, const std::wstring& ownerName);

// The one simulated machine; Reset() gives a fresh one and forgets all forms.
World& world();
void Reset();

std::string Narrow(const std::wstring& text);

// Starts the program as the system would, with World::arguments (none: it
// creates the main window). Each input helper delivers one event as the window procedure
// does, through the event boundary. All return false once the program has ended.
bool StartProgram();
bool MouseMove(platform::Form& form, int x, int y);
bool ButtonDown(platform::Form& form, int x, int y, bool left = true);
bool Click(platform::Form& form, int x, int y);
// Any other window event (keys, accessibility, setting changes), e.g.
// sim::Input([&] { form.OnKey(platform::Key::Tab, false); }).
bool Input(const std::function<void()>& event);
// As the window procedure passes them on: the mouse capture taken away
// (WM_CAPTURECHANGED, WM_CANCELMODE), a minimise from outside (SC_MINIMIZE).
bool CaptureLost(platform::Form& form);
bool MinimizeRequest(platform::Form& form);
// A pixel inside the control's rectangle, away from its edges.
std::pair<int, int> CenterOf(const platform::Form& form, int control);

}  // namespace sim
