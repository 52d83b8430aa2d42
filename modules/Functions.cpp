#include "Functions.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "EventLog.h"
#include "Library.h"
#include "RegEdit.h"
#include "Rights.h"
#include "Sessions.h"
#include "Shared.h"
#include "Unattended.h"
#include "forms/frmMain.h"
#include "platform/platform.h"

std::vector<platform::HeldProcess> TerminatedProcesses;

namespace {

constexpr wchar_t ConversationClass[] = L"imwindowclass";
constexpr wchar_t MessengerExe[] = L"msnmsgr.exe";
constexpr wchar_t PluginChangeMessage[] = L"MessengerPlus_PluginChange";
constexpr unsigned WmClose = 0x10;
constexpr platform::WindowHandle HwndBroadcast = 0xFFFF;
constexpr wchar_t InkUninstall[] = L"/X{9FCB2876-554D-491D-A2CD-58F8252D6C64}";
constexpr wchar_t InfoPenUninstall[] = L"/X{ECE6DE3F-5E70-4CEC-A583-F7BF9E252A77}";
constexpr wchar_t SuccessText[] = L"Plugin has been successfully uninstalled.";
constexpr wchar_t SuccessTitle[] = L"Complete:";
constexpr wchar_t AbsentText[] = L"MSN Scribbit for Messenger Plus! doesn't exist on this computer.";
constexpr wchar_t InUseText[] =
    L"MSN Scribbit for Messenger Plus! is in use and will be removed when Windows restarts.";
constexpr int ShowNormal = 1;
constexpr int ShowMinimized = 2;

constexpr std::uint32_t SnapProcess = 2;
// Enough to end a process and wait for its end: another user's process
// grants no more to an administrator.
constexpr std::uint32_t TerminateAccess = 0x00100001;  // PROCESS_TERMINATE | SYNCHRONIZE

// A window that does not answer in this time is left to the process
// termination that follows; once all requests together have taken the
// longer time, the remaining windows get their request without waiting.
constexpr unsigned CloseRequestTimeoutMs = 2000;
constexpr unsigned CloseWindowsBudgetMs = 5000;

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

// The registry values the removal works from, with where they are read.
struct InstallValue {
  std::wstring* target;
  const wchar_t* path;  // under the 32-bit programs' Software key
};
std::vector<InstallValue> InstallValues() {
  return {
      {&InstallInfo.PluginDir, L"Vantrel\\MsgPlus2\\PluginDir"},
      {&InstallInfo.MessengerDir, L"Microsoft\\MSNMessenger\\InstallationDirectory"},
      {&InstallInfo.DisplayNames[InkName],
       L"Microsoft\\Windows\\CurrentVersion\\Uninstall\\{9FCB2876-554D-491D-A2CD-58F8252D6C64}\\DisplayName"},
      {&InstallInfo.DisplayNames[InfoPenName],
       L"Microsoft\\Windows\\CurrentVersion\\Uninstall\\{ECE6DE3F-5E70-4CEC-A583-F7BF9E252A77}\\DisplayName"},
  };
}

// Asks every conversation window to close, each once, in lookup order; how
// many were asked.
unsigned CloseConversationWindows() {
  std::vector<platform::WindowHandle> asked;
  const std::uint32_t start = platform::TickCount();
  platform::WindowHandle window = platform::FindWindowExA(0, ConversationClass);
  while (window != 0 && platform::TickCount() - start < CloseWindowsGiveUpMs) {
    if (std::find(asked.begin(), asked.end(), window) == asked.end()) {
      asked.push_back(window);
      std::uint32_t spent = platform::TickCount() - start;
      if (spent < CloseWindowsBudgetMs) {
        bool answered = platform::SendMessageTimeoutA(
            window, WmClose, 0, 0, std::min(CloseRequestTimeoutMs, CloseWindowsBudgetMs - spent));
        Log(L"asked conversation window " + DecimalText(static_cast<long long>(window)) +
            (answered ? L" to close" : L" to close; no answer in time"));
      } else {
        platform::PostMessageA(window, WmClose, 0, 0);
        Log(L"asked conversation window " + DecimalText(static_cast<long long>(window)) +
            L" to close, without waiting");
      }
      window = platform::FindWindowExA(0, ConversationClass);
    } else {
      // Still there after its request: look past it, or from the start again
      // if it closed meanwhile and so no longer marks a place in the list.
      platform::WindowHandle next = platform::FindWindowExA(window, ConversationClass);
      window = next == 0 && !platform::IsWindow(window) ? platform::FindWindowExA(0, ConversationClass)
                                                        : next;
    }
  }
  return static_cast<unsigned>(asked.size());
}

}  // namespace

std::vector<const wchar_t*> UninstallsToStart() {
  std::vector<const wchar_t*> out;
  if (InstallInfo.DisplayNames[InkName] == L"Ink") out.push_back(InkUninstall);
  if (InstallInfo.DisplayNames[InfoPenName] == L"InfoPen for Outlook ") out.push_back(InfoPenUninstall);
  return out;
}

namespace {

std::wstring UninstallCommand(const wchar_t* arguments) {
  return L"MsiExec.exe " + std::wstring(arguments) + (Mode.silentUninstalls ? L" /qn /norestart" : L"");
}

// Enter for the installer's prompt once it is ready for keys, and once more
// if that same prompt is still there a moment later: a key sent while the
// prompt was coming to the front can be lost.
void ConfirmPrompt(const platform::HeldProcess& installer) {
  const platform::WindowHandle prompt = platform::WaitForFocusInProcess(installer, InstallerFocusTimeoutMs);
  if (prompt == 0) {
    Log(L"... no prompt of its own took the focus within " + DecimalText(InstallerFocusTimeoutMs / 1000) +
        L" s: nothing confirmed");
    return;
  }
  platform::SendEnterKey();
  if (platform::WaitForExitCode(installer, PromptRetryMs) != platform::StillActive ||
      platform::WaitForFocusInProcess(installer, PromptRetryMs, prompt) == 0)
    return;
  Log(L"... its prompt was still there: Enter once more");
  platform::SendEnterKey();
}

// Runs a Windows Installer uninstall to its end and returns its exit code:
// Windows Installer runs one installation at a time, and the library goes
// only after both. Where it shows its prompt, that is confirmed with Enter,
// but only once the prompt has the focus, so the key cannot land elsewhere.
unsigned long RunUninstall(const wchar_t* arguments) {
  const std::wstring folder = platform::SystemDirectory();
  std::wstring program = folder + L"\\MsiExec.exe";
  std::wstring commandLine = UninstallCommand(arguments);
  platform::HeldProcess installer = platform::Shell(program, commandLine, ShowNormal, folder);
  Log(L"started " + program + L": " + commandLine);
  if (!Mode.silentUninstalls) ConfirmPrompt(installer);
  unsigned long code = platform::WaitForExitCode(installer, UninstallTimeoutMs);
  Log(code == platform::StillActive
          ? L"... still running after " + DecimalText(UninstallTimeoutMs / 1000) + L" s"
          : L"... ended with exit code " + DecimalText(static_cast<long long>(code)));
  return code;
}

// A quiet run where no user sits (a service, session 0) would start
// Messenger where no one can see it, as that account.
bool MessengerToStart() { return !InstallInfo.MessengerDir.empty() && !(Mode.quiet && !platform::HasUserDesktop()); }

// Starts exactly the Messenger of the install directory, minimised, in that
// directory, with the rights of the person at the desktop. Without a
// directory nothing is started: a search by bare name would look in this
// program's own folder first, where anything could be saved beside it.
void StartMessenger(const SessionVisits& visits) {
  if (!InstallInfo.MessengerDir.empty() && visits.visited)
    return StartMessengerInSessions(visits, InstallInfo.MessengerDir + MessengerExe);
  if (!MessengerToStart()) {
    Log(InstallInfo.MessengerDir.empty() ? L"Messenger not started: no install directory"
                                         : L"Messenger not started: no user's desktop here");
    return;
  }
  std::wstring program = InstallInfo.MessengerDir + MessengerExe;
  const bool raised = HasRaisedRights();
  try {
    if (raised)
      platform::ShellAsDesktopUser(program, Quoted(program), ShowMinimized, InstallInfo.MessengerDir);
    else
      platform::Shell(program, Quoted(program), ShowMinimized, InstallInfo.MessengerDir);
    Log(L"started Messenger: " + program + (raised ? L", with the rights of the desktop's user" : L""));
  } catch (const platform::Failure& failure) {
    // With raised rights the outcome stands whatever happens here, but the
    // person who saw Messenger closed is told.
    if (raised) {
      Log(L"Messenger not started: " + failure.description());
      Report(failure.description(), ErrorStyle, ProgramTitle);
      return;
    }
    if (!Mode.switches) throw;
    // The removal itself is complete: the exit code keeps reporting it.
    Report(failure.description(), ErrorStyle, ProgramTitle);
  }
}

// After the library's message: each package whose uninstall did not succeed,
// with Windows' own words for its exit code (1605: it was gone already).
void ReportPackagesLeft(const std::vector<unsigned long>& codes) {
  std::size_t index = 0;
  for (const wchar_t* uninstall : UninstallsToStart()) {
    if (index >= codes.size()) break;
    const unsigned long code = codes[index++];
    if (code == ExitSuccess || code == ExitRestartNeeded || code == 1641 || code == ExitNotInstalled) continue;
    const std::wstring package = uninstall == InkUninstall ? L"Ink" : L"InfoPen for Outlook";
    Report(L"\"" + package + L"\" was not removed: " +
               (code == platform::StillActive ? L"its uninstall was still running after " +
                                                    DecimalText(UninstallTimeoutMs / 1000) + L" s."
                                              : platform::DescribeError(code)),
           MessageStyle, ErrorTitle);
  }
}

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

std::wstring ProcessText(const std::wstring& name, std::uint32_t id) {
  return name + L" (id " + DecimalText(id) + L")";
}

// The message for the library's fate, from the outcome of the deletion.
LibraryOutcome ReportLibrary(const Outcome& outcome) {
  if (!outcome.failure.empty()) {
    Report(NotRemovedText + outcome.failure, MessageStyle, ErrorTitle);
    return LibraryOutcome::NotDeleted;
  }
  const unsigned long code = outcome.library;
  switch (code) {
    case ExitSuccess:
      Report(SuccessText, MessageStyle, SuccessTitle);
      return LibraryOutcome::Deleted;
    case ExitRestartNeeded:
      Report(InUseText, MessageStyle, SuccessTitle);
      return LibraryOutcome::Scheduled;
    case ExitNotInstalled:
      Report(AbsentText, MessageStyle, ErrorTitle);
      return LibraryOutcome::Absent;
    default:
      Report(NotRemovedText + platform::DescribeError(code), MessageStyle, ErrorTitle);
      return LibraryOutcome::NotDeleted;
  }
}

}  // namespace

bool NameMatches(const std::wstring& entryName, const std::wstring& target) {
  std::size_t length = target.size();
  std::wstring tail =
      entryName.size() < length ? entryName : entryName.substr(entryName.size() - length);
  return tail == target;
}

bool KillProcessByName(const std::wstring& target, std::uint32_t session) {
  bool found = false;
  // An administrator elevated over a person's shoulder ends that person's
  // process only with this privilege.
  std::optional<platform::DebugPrivilege> debug;
  if (HasRaisedRights()) debug.emplace();
  bool complete = ScanProcesses(target, [&](const platform::ProcessEntry& entry, const std::wstring& name) {
    const std::uint32_t itsSession = platform::SessionOfProcess(entry.th32ProcessID);
    if (session != platform::NoSession && itsSession != session) return;
    found = true;
    platform::UniqueHandle process(platform::OpenProcess(TerminateAccess, false, entry.th32ProcessID));
    if (process.get() != 0 && platform::TerminateProcess(process.get(), 0) != 0) {
      Log(L"ended process " + ProcessText(name, entry.th32ProcessID));
      if (itsSession != platform::NoSession) Run.sessions.insert(itsSession);
      TerminatedProcesses.push_back({std::move(process), entry.th32ProcessID});
    } else {
      Log(L"could not end process " + ProcessText(name, entry.th32ProcessID));
    }
  });
  if (complete) ProcessKilled = true;
  return found;
}

void ReadInstallInfo() {
  // Messenger, Messenger Plus! and both packages are 32-bit programs: read
  // where they write, which on 64-bit Windows is not this build's own view.
  const std::wstring software = platform::SoftwareKeyOf32BitPrograms();
  for (const InstallValue& value : InstallValues()) {
    const std::wstring path = software + value.path;
    try {
      // With switches, a value that could not be read must not pass for a
      // missing one: the run would end as "not installed" and be counted a
      // success while the plug-in stays.
      *value.target = Mode.switches ? RegReadValueOrRaise(path) : RegReadValue(path);
    } catch (const std::exception& failure) {
      auto* known = dynamic_cast<const platform::Failure*>(&failure);
      Fail(L"could not read " + path + L": " + platform::DescriptionOf(failure), known ? known->code() : 0);
    }
    Log(L"read " + path + L" = " + Quoted(*value.target));
  }
}

std::vector<std::uint32_t> MessengerProcesses() {
  std::vector<std::uint32_t> ids;
  ScanProcesses(MessengerExe, [&](const platform::ProcessEntry& entry, const std::wstring&) {
    ids.push_back(entry.th32ProcessID);
  });
  return ids;
}

DesktopSteps CloseMessengerHere(std::uint32_t session) {
  DesktopSteps steps;
  steps.asked = CloseConversationWindows();
  const std::size_t before = TerminatedProcesses.size();
  KillProcessByName(MessengerExe, session);
  steps.ended = static_cast<unsigned>(TerminatedProcesses.size() - before);
  // A scan abandoned on a failure leaves ProcessKilled false; the removal goes
  // on regardless, as nothing else could set it.

  unsigned pluginChange = platform::RegisterWindowMessageA(PluginChangeMessage);
  platform::PostMessageA(HwndBroadcast, pluginChange, 0, 0);
  // Where no user sits, the broadcast reaches no one's windows but this
  // desktop's: the log must not claim more.
  Log(platform::HasUserDesktop() ? L"posted MessengerPlus_PluginChange to all top-level windows"
                                 : L"posted MessengerPlus_PluginChange to the top-level windows of this desktop only");
  return steps;
}

Outcome CarryOutRemoval() {
  Outcome outcome;
  // From session 0, a copy on each user's desktop did the window steps
  // there; whatever Messenger is left is ended here.
  outcome.sessions = CloseMessengerInSessions();
  if (outcome.sessions.visited)
    KillProcessByName(MessengerExe);
  else
    CloseMessengerHere(platform::NoSession);

  for (const wchar_t* uninstall : UninstallsToStart()) outcome.uninstalls.push_back(RunUninstall(uninstall));

  platform::WaitForProcessesToExit(TerminatedProcesses, ProcessExitTimeoutMs);
  RemoveLibrary(LibraryFile(), outcome);
  return outcome;
}

void RemovePlugin() {
  LibraryOutcome library = LibraryOutcome::Deleted;
  Outcome outcome;
  Run.removal = Run.leavesEvent = true;
  try {
    StopWhereNothingMayChange();
    if (RemovalNeedsRights()) {
      outcome = RemoveWithRights();
    } else {
      frmMain::Hide();
      outcome = CarryOutRemoval();
    }
    Run.library = LibraryFile();
    Run.libraryCode = outcome.library;
    Run.copyFailure = outcome.failure;
    // Each uninstall's code by its product code ("/X{...}" less the switch),
    // in the order they ran.
    std::size_t index = 0;
    for (const wchar_t* uninstall : UninstallsToStart())
      if (index < outcome.uninstalls.size()) Run.uninstalls.push_back({uninstall + 2, outcome.uninstalls[index++]});
    library = ReportLibrary(outcome);
    ReportPackagesLeft(outcome.uninstalls);
    // By this copy, with the person's own rights.
    StartMessenger(outcome.sessions);
  } catch (const std::exception& failure) {
    Fail(platform::DescriptionOf(failure));
  }
  Finish(FoldExitCode(library, outcome.uninstalls));
}

namespace {
// The library's fate as the removal would decide it: the removal ends
// Messenger first, so a library only Messenger has loaded is deleted then.
std::wstring LibraryPreview(const std::wstring& path, const std::vector<std::uint32_t>& messengers) {
  if (!platform::FileExists(path)) return L": not there";
  const unsigned long use = platform::FileInUse(path);
  if (use == platform::ErrorAccessDenied) return L": there; whether it is in use cannot be told (access denied)";
  if (use == 0) return L": there, to be deleted";
  const std::vector<std::uint32_t> holders = platform::ProcessesWithModule(path);
  const bool onlyMessenger = !holders.empty() && std::all_of(holders.begin(), holders.end(), [&](std::uint32_t id) {
    return std::find(messengers.begin(), messengers.end(), id) != messengers.end();
  });
  return onlyMessenger ? L": there, loaded by Messenger only, to be deleted once Messenger has ended"
                       : (IsScheduledForDeletion(path) ? L": there, in use, already scheduled" : L": there, in use,") +
                             std::wstring(AtRestart);
}
}  // namespace

void PreviewRemoval() {
  std::wstring text = L"Preview: nothing was changed.\r\n";
  const std::wstring software = platform::SoftwareKeyOf32BitPrograms();
  for (const InstallValue& value : InstallValues())
    text += software + value.path + L" = " + Quoted(*value.target) + L"\r\n";
  int windows = 0;
  for (platform::WindowHandle window = platform::FindWindowExA(0, ConversationClass); window != 0;
       window = platform::FindWindowExA(window, ConversationClass))
    ++windows;
  text += L"Conversation windows to close: " + DecimalText(windows) + L"\r\n";
  std::wstring processes;
  std::vector<std::uint32_t> messengers;
  ScanProcesses(MessengerExe, [&](const platform::ProcessEntry& entry, const std::wstring& name) {
    processes += L" " + ProcessText(name, entry.th32ProcessID);
    messengers.push_back(entry.th32ProcessID);
  });
  text += L"Processes to end:" + (processes.empty() ? L" none" : processes) + L"\r\n";
  for (const wchar_t* uninstall : UninstallsToStart())
    text += L"Uninstall to start: " + UninstallCommand(uninstall) + L"\r\n";
  const std::wstring path = LibraryFile();
  text += L"Library " + path + LibraryPreview(path, messengers) + L"\r\n";
  // From session 0 the removal starts it again in the sessions where it runs.
  const bool inSessions = !InstallInfo.MessengerDir.empty() && !platform::HasUserDesktop() && !messengers.empty() &&
                          platform::SessionOfProcess(messengers.front()) != platform::NoSession;
  text += inSessions           ? L"Messenger to start again in the sessions where it runs: " +
                                   InstallInfo.MessengerDir + MessengerExe
          : MessengerToStart() ? L"Messenger to start again: " + InstallInfo.MessengerDir + MessengerExe
                               : std::wstring(L"Messenger not to be started again");
  Report(text, MessageStyle, ProgramTitle);
  Finish(ExitSuccess);
}
