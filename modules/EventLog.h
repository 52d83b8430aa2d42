// What an administrator reads afterwards: the dated lines and the result line
// of the log, and the one Application event a run leaves.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"

// What a run did, gathered as it goes, for its event.
struct RunRecord {
  bool leavesEvent = false;     // a run with switches or a removal; not a copy
  bool removal = false;         // the removal ran (not only /preview or /?)
  std::wstring library;         // the library's path, once the removal has dealt with it
  unsigned long libraryCode = 0;  // as DeleteLibrary gives it
  bool alreadyScheduled = false;  // its deletion at restart was there before this run
  // Each uninstall started, by its product code, with its exit code.
  std::vector<std::pair<std::wstring, unsigned long>> uninstalls;
  std::set<std::uint32_t> sessions;  // where Messenger was ended
  std::wstring arguments;       // as given, each after a blank
  std::uint32_t startTick = 0;
  std::wstring copyFailure;  // why the copy with raised rights did not finish: not deleted
};
// Shared state of the run, like Mode (Log.h): a global, filled by whichever
// step learns something, read for the log's first line and for the event.
extern RunRecord Run;

// The event source, registered under
// HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application.
inline constexpr wchar_t EventSource[] = L"MSN Scribbit Removal";
// A message file that Windows itself keeps (eventcreate's, from XP
// Professional on), so the text shows after this program's file is gone:
// each of its messages 1 to 1000 is just the event's first string.
inline constexpr wchar_t EventMessageFile[] = L"%SystemRoot%\\System32\\EventCreate.exe";

struct RunEvent {
  std::uint16_t type;  // platform::EventError, EventWarning or EventInformation
  std::uint32_t id;
  std::wstring text;
};
// The event of a run that ended with `exitCode`.
RunEvent DescribeRun(const RunRecord& run, unsigned exitCode);
// The last line of a run's log.
std::wstring ResultLine(unsigned exitCode, std::uint32_t elapsedMs);
// The first line of a run's log: the program's version and build, the
// computer, the account, the session, the Windows version and the arguments.
std::wstring HeaderLine(const platform::SystemFacts& system);

// Registers the source where this token may and reports the run's event;
// where it cannot, the log says why.
void ReportRunEvent(unsigned exitCode);
// Registers the source where this token may: 0, or the system error.
unsigned long RegisterEventSourceIfAllowed();
