// Runs with switches, for deployment tools: the command line, the exit codes
// they read and the log. How such a run reports and confirms differs from the
// interactive one only through RunMode, consulted by the one removal.
#pragma once

#include <string>
#include <vector>

struct CommandLine {
  bool valid = true;
  bool quiet = false;
  bool preview = false;
  bool help = false;
  bool deleteLibrary = false;     // the copies started with raised rights
  bool removeWithRights = false;
  bool sessionSteps = false;      // the copy on a session's desktop
  std::wstring logPath;  // empty: no log
};
// Switches are case-insensitive and start with "/" or "-"; "/log" takes the
// next argument as its file. "/deletelibrary", "/removewithrights" and
// "/sessionsteps" are valid only on their own.
CommandLine ParseCommandLine(const std::vector<std::wstring>& arguments);

// Exit codes of a run with switches, in Windows Installer's numbering, which
// deployment tools already map.
inline constexpr unsigned ExitSuccess = 0;
inline constexpr unsigned ExitRestartNeeded = 3010;
inline constexpr unsigned ExitFailed = 1603;
inline constexpr unsigned ExitNotInstalled = 1605;
inline constexpr unsigned ExitBusy = 1618;
inline constexpr unsigned ExitInvalidCommandLine = 1639;

// Scheduled: still in use, deleted when Windows restarts.
enum class LibraryOutcome { Deleted, Scheduled, Absent, NotDeleted };
// The exit code of a removal from the library's fate and each uninstall's
// own exit code (README, "Exit codes").
unsigned FoldExitCode(LibraryOutcome library, const std::vector<unsigned long>& uninstallCodes);

struct RunMode {
  bool switches = false;  // any switch given: exit codes as above, failures end with 1603
  bool quiet = false;     // no window, no message box
  bool silentUninstalls = false;  // Windows Installer shows nothing either
  std::wstring logPath;
  bool linesToParent = false;  // a copy with raised rights: log lines go to the copy that started it
};
extern RunMode Mode;

// Appends a line to the log, if there is one; a log that cannot be written is
// passed over.
void Log(const std::wstring& line);
// A message box, unless the run is quiet; the text goes to the log as well.
void Report(const std::wstring& text, int style, const std::wstring& title);
// Ends the program: with `code` when started with switches, else with 0.
[[noreturn]] void Finish(unsigned code);
// Ends the program on a failure the removal cannot go on from; `error`: its
// system error, where known.
[[noreturn]] void Fail(const std::wstring& description, unsigned long error = 0);

// What the process does first: the main window without arguments, else what
// the switches ask for.
void StartUp(const std::vector<std::wstring>& arguments);
