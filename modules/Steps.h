// The removal's steps, each on its own: Messenger's conversation windows and
// processes, the word to Messenger Plus!, and the packages' uninstalls.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"

inline constexpr wchar_t MessengerExe[] = L"msnmsgr.exe";
// Messenger's conversation windows.
inline constexpr wchar_t ConversationClass[] = L"imwindowclass";
inline constexpr wchar_t InkUninstall[] = L"/X{9FCB2876-554D-491D-A2CD-58F8252D6C64}";
inline constexpr wchar_t InfoPenUninstall[] = L"/X{ECE6DE3F-5E70-4CEC-A583-F7BF9E252A77}";

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

// What KillProcessByName adds to when its caller passes no list of its own.
extern std::vector<platform::HeldProcess> TerminatedProcesses;

// Terminates every process whose executable name ends with `target`, letter
// case aside, and (unless NoSession) that runs in `session`, and adds each to
// `ended`, held so that the wait for its exit cannot meet another process that
// was given a reused id. True when at least one process matched. Sets
// ProcessKilled once the scan has run to its end.
bool KillProcessByName(const std::wstring& target, std::uint32_t session = platform::NoSession,
                       std::vector<platform::HeldProcess>& ended = TerminatedProcesses);

// True when `entryName` ends with `target`; both already in lower case.
bool NameMatches(const std::wstring& entryName, const std::wstring& target);

inline constexpr std::uint32_t SnapProcess = 2;
// Calls `found` with each process whose executable name ends with `target`,
// letter case aside. True when the scan ran to its end.
template <class Found>
bool ScanProcesses(const std::wstring& target, Found&& found) {
  try {
    std::wstring wanted = platform::LowerCase(target);
    platform::ProcessEntry entry{};
    entry.dwSize = sizeof entry;
    platform::UniqueHandle snapshot(platform::CreateToolhelp32Snapshot(SnapProcess, 0));
    for (int more = platform::Process32First(snapshot.get(), entry); more != 0;
         more = platform::Process32Next(snapshot.get(), entry)) {
      std::size_t length = strnlen(entry.szExeFile, sizeof entry.szExeFile);
      std::wstring name = platform::NarrowToWide(entry.szExeFile, length);
      if (NameMatches(platform::LowerCase(name), wanted)) found(entry, name);
    }
    return true;
  } catch (const std::exception&) {
    // An abandoned scan reports what it found so far.
    return false;
  }
}
// A process as the log names it.
std::wstring ProcessText(const std::wstring& name, std::uint32_t id);

// The ids of the running Messenger processes.
std::vector<std::uint32_t> MessengerProcesses();
// The steps that reach only this desktop, in order: asks the conversation
// windows to close, ends Messenger (in `session`, unless NoSession) and tells
// Messenger Plus! that its plug-ins changed. What it asked and ended.
struct DesktopSteps {
  unsigned asked = 0;
  std::vector<platform::HeldProcess> ended;  // held, for the wait for their exit
};
DesktopSteps CloseMessengerHere(std::uint32_t session);

// The uninstalls whose entries carry exactly the expected display names.
std::vector<const wchar_t*> UninstallsToStart();
// The command line of an uninstall, as RunUninstall starts it.
std::wstring UninstallCommand(const wchar_t* arguments);
// Runs a Windows Installer uninstall to its end and returns its exit code:
// Windows Installer runs one installation at a time, and the library goes
// only after both. Where it shows its prompt, that is confirmed with Enter,
// but only once the prompt has the focus, so the key cannot land elsewhere.
unsigned long RunUninstall(const wchar_t* arguments);
