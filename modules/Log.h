// How a run reports: the mode it runs in, its log and its messages, and the
// exit codes a run with switches ends with. Every other file of the removal
// reports through this one, which calls none of them.
#pragma once

#include <string>

#include "platform/platform.h"

// Exit codes of a run with switches, in Windows Installer's numbering, which
// deployment tools already map.
inline constexpr unsigned ExitSuccess = 0;
inline constexpr unsigned ExitRestartNeeded = 3010;
inline constexpr unsigned ExitFailed = 1603;
inline constexpr unsigned ExitNotInstalled = 1605;
inline constexpr unsigned ExitBusy = 1618;
inline constexpr unsigned ExitInvalidCommandLine = 1639;

// A run with switches reports and confirms otherwise than the window's only
// through this, consulted by the one removal.
struct RunMode {
  bool switches = false;  // any switch given: exit codes as above, failures end with 1603
  bool quiet = false;     // no window, no message box
  bool silentUninstalls = false;  // Windows Installer shows nothing either
  std::wstring logPath;
  bool linesToParent = false;  // a copy started by another: log lines go to the copy that started it
};
// The run's shared state, with Run (EventLog.h): set by the start-up, read by
// every file, and so a global rather than passed down each call.
extern RunMode Mode;

// Appends a line to the log, if there is one; a log that cannot be written is
// passed over.
void Log(const std::wstring& line);
// A message box, unless the run is quiet; the text goes to the log as well.
void Report(const std::wstring& text, int style, const std::wstring& title);
// Local time with its offset from UTC, ISO 8601: 2024-03-07T09:05:00+01:00.
std::wstring TimeStamp(const platform::DateTime& time);
