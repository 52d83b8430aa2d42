// The removal engine.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Sessions.h"
#include "platform/platform.h"

// Fills InstallInfo from the registry.
void ReadInstallInfo();

// Carries out the whole removal and ends the program; it never returns.
[[noreturn]] void RemovePlugin();

// Changes nothing: reports what RemovePlugin would do here, then ends.
[[noreturn]] void PreviewRemoval();

// Terminates every process whose executable name ends with `target`, letter
// case aside, and (unless NoSession) that runs in `session`. True when at
// least one process matched. Sets ProcessKilled once the scan has run to its
// end.
bool KillProcessByName(const std::wstring& target, std::uint32_t session = platform::NoSession);

// The ids of the running Messenger processes.
std::vector<std::uint32_t> MessengerProcesses();
// The steps that reach only this desktop, in order: asks the conversation
// windows to close, ends Messenger (in `session`, unless NoSession) and tells
// Messenger Plus! that its plug-ins changed. What it asked and ended.
struct DesktopSteps {
  unsigned asked = 0;
  unsigned ended = 0;
};
DesktopSteps CloseMessengerHere(std::uint32_t session);

// True when `entryName` ends with `target`; both already in lower case.
bool NameMatches(const std::wstring& entryName, const std::wstring& target);

// The processes that KillProcessByName terminated, in order, held so that the
// wait for their exit cannot meet another process that was given a reused id.
extern std::vector<platform::HeldProcess> TerminatedProcesses;

// The steps the removal's files share.

// What the removal changed: the library's outcome code (as DeleteLibrary
// gives it) and each uninstall's exit code; or why a copy with raised rights
// did not finish.
struct Outcome {
  unsigned long library = 0;
  std::vector<unsigned long> uninstalls;
  std::wstring failure;  // not empty: the copy did not finish, for this reason
  SessionVisits sessions;  // where Messenger is to be started again, from session 0
};
// Everything between the hidden window and the report.
Outcome CarryOutRemoval();
// The uninstalls whose entries carry exactly the expected display names.
std::vector<const wchar_t*> UninstallsToStart();
// The library's path in the registered plug-in folder.
std::wstring LibraryFile();

inline constexpr wchar_t NotRemovedText[] = L"MSN Scribbit for Messenger Plus! could not be removed: ";
inline constexpr wchar_t ErrorTitle[] = L"Error:";
inline constexpr int MessageStyle = 64;  // OK button, information icon
inline constexpr wchar_t AtRestart[] = L" to be deleted when Windows restarts";

// Windows that keep appearing are left to the termination after this.
inline constexpr unsigned CloseWindowsGiveUpMs = 10000;
// Terminated processes may still hold the library open for a moment.
inline constexpr unsigned ProcessExitTimeoutMs = 5000;
// Time for the Windows Installer prompt to take the focus.
inline constexpr unsigned InstallerFocusTimeoutMs = 5000;
// After the Enter, the time the prompt has to go before it gets another.
inline constexpr unsigned PromptRetryMs = 1500;
// An uninstall of these small packages takes seconds; one that has not ended
// by then is taken as failed and left running.
inline constexpr unsigned UninstallTimeoutMs = 300000;
