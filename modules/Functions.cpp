#include "Functions.h"

#include <algorithm>

#include "EventLog.h"
#include "Library.h"
#include "Log.h"
#include "Outcome.h"
#include "RegEdit.h"
#include "Rights.h"
#include "Sessions.h"
#include "Shared.h"
#include "Steps.h"
#include "api.h"
#include "forms/frmMain.h"
#include "platform/platform.h"

namespace {

constexpr wchar_t SuccessText[] = L"Plugin has been successfully uninstalled.";
constexpr wchar_t SuccessTitle[] = L"Complete:";
constexpr wchar_t AbsentText[] = L"MSN Scribbit for Messenger Plus! doesn't exist on this computer.";
constexpr wchar_t InUseText[] =
    L"MSN Scribbit for Messenger Plus! is in use and will be removed when Windows restarts.";
constexpr int ShowMinimized = 2;

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

// Everything between the hidden window and the report.
Outcome CarryOutRemoval() {
  Outcome outcome;
  // From session 0, a copy on each user's desktop did the window steps
  // there; whatever Messenger is left is ended here.
  outcome.sessions = CloseMessengerInSessions();
  std::vector<platform::HeldProcess> ended;
  if (outcome.sessions.visited)
    KillProcessByName(MessengerExe, platform::NoSession, ended);
  else
    ended = CloseMessengerHere(platform::NoSession).ended;

  for (const wchar_t* uninstall : UninstallsToStart()) outcome.uninstalls.push_back(RunUninstall(uninstall));

  platform::WaitForProcessesToExit(ended, ProcessExitTimeoutMs);
  RemoveLibrary(LibraryFile(), outcome);
  return outcome;
}

// A copy started with raised rights: it reads the registry itself and ends
// with what `work` returns, or with its failure's system error.
template <class Work>
[[noreturn]] void RunCopyWithRights(Work&& work) {
  unsigned long code = PackFailure(ExitFailed);
  try {
    // The first copy, without these rights, may then report the run's event.
    RegisterEventSourceIfAllowed();
    ReadInstallInfo();
    code = work();
  } catch (const std::exception& failure) {
    // Nothing may be shown here: the exit code tells the first copy.
    Log(L"failed: " + platform::DescriptionOf(failure));
    if (auto* known = dynamic_cast<const platform::Failure*>(&failure)) code = PackFailure(known->code());
  }
  Finish(code);
}

}  // namespace

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

void RemoveWithRightsElevated() {
  // The first copy, without these rights, could not take the removal lock.
  RunCopyWithRights([] { return IsAnotherRemovalRunning() ? PackFailure(ExitBusy) : PackOutcome(CarryOutRemoval()); });
}

void DeleteLibraryElevated() {
  RunCopyWithRights([] { return PackOutcome({DeleteLibrary(LibraryFile()), {}, {}, {}}); });
}
