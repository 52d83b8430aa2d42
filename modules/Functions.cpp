#include "Functions.h"

#include <algorithm>
#include <cstring>

#include "RegEdit.h"
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
constexpr wchar_t LibraryPath[] = L"\\MsnScribbit.dll";
constexpr wchar_t SuccessText[] = L"Plugin has been successfully uninstalled.";
constexpr wchar_t SuccessTitle[] = L"Complete:";
constexpr wchar_t AbsentText[] = L"MSN Scribbit for Messenger Plus! doesn't exist on this computer.";
constexpr wchar_t NotRemovedText[] = L"MSN Scribbit for Messenger Plus! could not be removed: ";
constexpr wchar_t InUseText[] =
    L"MSN Scribbit for Messenger Plus! is in use and will be removed when Windows restarts.";
constexpr wchar_t AtRestart[] = L" to be deleted when Windows restarts";
// The one argument of each copy started with raised rights: the one that
// deletes the library, and the one that carries out the whole removal.
constexpr wchar_t DeleteLibrarySwitch[] = L"/deletelibrary";
constexpr wchar_t RemoveWithRightsSwitch[] = L"/removewithrights";
constexpr wchar_t ErrorTitle[] = L"Error:";
constexpr int MessageStyle = 64;  // OK button, information icon
constexpr int ShowNormal = 1;
constexpr int ShowMinimized = 2;

constexpr std::uint32_t SnapProcess = 2;
constexpr std::uint32_t ProcessAllAccess = 0x1F0FFF;

// A window that does not answer in this time is left to the process
// termination that follows; once all requests together have taken the
// longer time, the remaining windows get their request without waiting.
constexpr unsigned CloseRequestTimeoutMs = 2000;
constexpr unsigned CloseWindowsBudgetMs = 5000;
// Windows that keep appearing are left to the termination after this.
constexpr unsigned CloseWindowsGiveUpMs = 10000;
// Terminated processes may still hold the library open for a moment.
constexpr unsigned ProcessExitTimeoutMs = 5000;
// Time for the Windows Installer prompt to take the focus.
constexpr unsigned InstallerFocusTimeoutMs = 5000;
// After the Enter, the time the prompt has to go before it gets another.
constexpr unsigned PromptRetryMs = 1500;
// The copy with raised rights only deletes one file; one that has not ended
// by then is taken as failed.
constexpr unsigned ElevatedCopyTimeoutMs = 60000;
// An uninstall of these small packages takes seconds; one that has not ended
// by then is taken as failed and left running.
constexpr unsigned UninstallTimeoutMs = 300000;
// The copy that carries out the removal: every bound of its own steps, and
// a margin.
constexpr unsigned RemovalCopyTimeoutMs =
    CloseWindowsGiveUpMs + ProcessExitTimeoutMs + 2 * (InstallerFocusTimeoutMs + 2 * PromptRetryMs + UninstallTimeoutMs) + 60000;

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

// Asks every conversation window to close, each once, in lookup order.
void CloseConversationWindows() {
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
}

// The uninstalls whose entries carry exactly the expected display names.
std::vector<const wchar_t*> UninstallsToStart() {
  std::vector<const wchar_t*> out;
  if (InstallInfo.DisplayNames[InkName] == L"Ink") out.push_back(InkUninstall);
  if (InstallInfo.DisplayNames[InfoPenName] == L"InfoPen for Outlook ") out.push_back(InfoPenUninstall);
  return out;
}

std::wstring UninstallCommand(const wchar_t* arguments) {
  return L"MsiExec.exe " + std::wstring(arguments) + (Mode.silentUninstalls ? L" /qn /norestart" : L"");
}

// Enter for the installer's prompt once it is ready for keys, and once more
// if that same prompt is still there a moment later: a key sent while the
// prompt was coming to the front can be lost.
void ConfirmPrompt(const platform::HeldProcess& installer) {
  const platform::WindowHandle prompt = platform::WaitForFocusInProcess(installer, InstallerFocusTimeoutMs);
  if (prompt == 0) return;
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

bool IsVistaOrLater() {
  platform::VersionRecord version{};
  version.dwOSVersionInfoSize = sizeof version;
  return platform::GetVersionExA(version) == 1 && version.dwMajorVersion >= 6;
}

// A full token of Vista and later ("Run as administrator", an elevated
// console), or LocalSystem: what Messenger must not inherit.
bool HasRaisedRights() {
  bool elevated = false;
  return (IsVistaOrLater() && platform::GetTokenElevation(elevated) && elevated) || platform::IsLocalSystem();
}

// Starts exactly the Messenger of the install directory, minimised, in that
// directory, with the rights of the person at the desktop. Without a
// directory nothing is started: a search by bare name would look in this
// program's own folder first, where anything could be saved beside it.
void StartMessenger() {
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
    if (raised && failure.code() == platform::ErrorNotFound) {
      Log(L"Messenger not started: no desktop shell to take the user's own rights from");
      return;
    }
    if (!Mode.switches) throw;
    // The removal itself is complete: the exit code keeps reporting it.
    Report(failure.description(), ErrorStyle, ProgramTitle);
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

bool IsAbsent(unsigned long code) {
  return code == platform::ErrorFileNotFound || code == platform::ErrorPathNotFound ||
         code == platform::ErrorInvalidName;
}

std::wstring LibraryFile() { return InstallInfo.PluginDir + LibraryPath; }

// Deletes the library or, while a program still holds it open or has it
// loaded, schedules its deletion for the next restart. A read-only library
// loses that attribute first, as "del /f" does, and gets it back where it
// stays. The outcome as the copy with raised rights ends with it: 0 deleted,
// 3010 scheduled, 1605 not there, else the system error.
unsigned long DeleteLibrary(const std::wstring& path) {
  auto attempt = [&]() -> unsigned long {
    try {
      platform::Kill(path);
      Log(L"deleted " + path);
      return ExitSuccess;
    } catch (const platform::Failure& failure) {
      Log(L"did not delete " + path + L": " + failure.description());
      return failure.code();
    }
  };
  unsigned long error = attempt();
  if (error == ExitSuccess) return ExitSuccess;
  if (IsAbsent(error)) return ExitNotInstalled;
  const std::uint32_t attributes = platform::GetFileAttributesW(path);
  bool readOnly = error == platform::ErrorAccessDenied && attributes != platform::InvalidFileAttributes &&
                  (attributes & platform::FileAttributeReadOnly) != 0;
  const bool cleared =
      readOnly && platform::SetFileAttributesW(path, attributes & ~platform::FileAttributeReadOnly);
  if (cleared) {
    Log(L"cleared the read-only attribute of " + path);
    error = attempt();
    if (error == ExitSuccess) return ExitSuccess;
    readOnly = false;
  }
  // Refused although this token may delete it (and it is not read-only):
  // a program has it loaded. Held open without delete sharing: in use too.
  const bool inUse = error == platform::ErrorSharingViolation ||
                     (error == platform::ErrorAccessDenied && !readOnly && platform::OpenForDelete(path) == 0);
  if (inUse) {
    try {
      platform::MoveFileExDelayUntilReboot(path);
      Log(L"scheduled " + path + AtRestart);
      return ExitRestartNeeded;
    } catch (const platform::Failure& failure) {
      Log(L"could not schedule " + path + AtRestart + L": " + failure.description());
      error = failure.code();
    }
  }
  if (cleared) platform::SetFileAttributesW(path, attributes);
  return error;
}

// Only where User Account Control gave the program a token that is not
// elevated (Vista and later), and never in a quiet run: nobody is there to
// answer the prompt.
bool CanAskForRights() {
  bool elevated = true;
  return !Mode.quiet && IsVistaOrLater() && platform::GetTokenElevation(elevated) && !elevated;
}

// Whether the removal needs rights this token lacks, known before anything
// changes: a package to uninstall (its entry is under HKLM, so it is
// per-machine, and Windows Installer would ask for each), or a library this
// token may not delete.
bool RemovalNeedsRights() {
  return CanAskForRights() && (!UninstallsToStart().empty() ||
                               platform::OpenForDelete(LibraryFile()) == platform::ErrorAccessDenied);
}

// The exit code of a copy started with raised rights; one still running
// after `timeoutMs` is taken as timed out.
unsigned long ExitCodeOfCopy(const platform::HeldProcess& copy, unsigned timeoutMs) {
  unsigned long code = platform::WaitForExitCode(copy, timeoutMs);
  if (code == platform::StillActive) code = platform::ErrorWaitTimeout;
  Log(L"the copy with administrator rights ended with exit code " + DecimalText(static_cast<long long>(code)));
  return code;
}

// Deletes the library; where that needs rights this copy lacks and may ask
// for, a copy of the program started with them does it. Only that step runs
// with raised rights: Messenger, started again later, must not inherit them.
unsigned long RemoveLibrary(const std::wstring& path) {
  unsigned long code = DeleteLibrary(path);
  if (code != platform::ErrorAccessDenied || !CanAskForRights()) return code;
  Log(L"asking for administrator rights to delete " + path);
  try {
    code = ExitCodeOfCopy(platform::ShellExecuteExRunAs(DeleteLibrarySwitch), ElevatedCopyTimeoutMs);
  } catch (const platform::Failure& failure) {
    Log(L"no copy with administrator rights: " + failure.description());
    return failure.code();
  }
  if (code == ExitSuccess) Log(L"deleted " + path);
  if (code == ExitRestartNeeded) Log(L"scheduled " + path + AtRestart);
  return code;
}

// The message for the library's fate, from the outcome of the deletion.
LibraryOutcome ReportLibrary(unsigned long code) {
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

bool KillProcessByName(const std::wstring& target) {
  bool found = false;
  bool complete = ScanProcesses(target, [&](const platform::ProcessEntry& entry, const std::wstring& name) {
    found = true;
    platform::UniqueHandle process(platform::OpenProcess(ProcessAllAccess, false, entry.th32ProcessID));
    if (process.get() != 0 && platform::TerminateProcess(process.get(), 0) != 0) {
      Log(L"ended process " + ProcessText(name, entry.th32ProcessID));
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
      Fail(L"could not read " + path + L": " + platform::DescriptionOf(failure));
    }
    Log(L"read " + path + L" = " + Quoted(*value.target));
  }
}

namespace {

// What the removal changed: the library's outcome code (as DeleteLibrary
// gives it) and each uninstall's exit code.
struct Outcome {
  unsigned long library = ExitSuccess;
  std::vector<unsigned long> uninstalls;
};

// Everything between the hidden window and the report.
Outcome CarryOutRemoval() {
  Outcome outcome;
  CloseConversationWindows();
  KillProcessByName(MessengerExe);
  // A scan abandoned on a failure leaves ProcessKilled false; the removal goes
  // on regardless, as nothing else could set it.

  unsigned pluginChange = platform::RegisterWindowMessageA(PluginChangeMessage);
  platform::PostMessageA(HwndBroadcast, pluginChange, 0, 0);
  Log(L"posted MessengerPlus_PluginChange to all top-level windows");

  for (const wchar_t* uninstall : UninstallsToStart()) outcome.uninstalls.push_back(RunUninstall(uninstall));

  platform::WaitForProcessesToExit(TerminatedProcesses, ProcessExitTimeoutMs);
  outcome.library = RemoveLibrary(LibraryFile());
  return outcome;
}

// The copy that carries out the removal reports its outcome in its exit
// code: the library's code in the low 16 bits, then three bits for each
// uninstall, in order, telling which kind of exit code it gave.
constexpr unsigned long UninstallKinds[] = {0, ExitSuccess, ExitRestartNeeded, ExitBusy, ExitNotInstalled, ExitFailed};
constexpr int KindBits = 3;

unsigned long KindOf(unsigned long uninstallCode) {
  switch (uninstallCode) {
    case ExitSuccess: return 1;
    case ExitRestartNeeded: case 1641: return 2;
    case ExitBusy: return 3;
    case ExitNotInstalled: return 4;
    default: return 5;
  }
}

unsigned long PackOutcome(const Outcome& outcome) {
  unsigned long packed = outcome.library & 0xFFFF;
  int shift = 16;
  for (unsigned long code : outcome.uninstalls) {
    packed |= KindOf(code) << shift;
    shift += KindBits;
  }
  return packed;
}

Outcome UnpackOutcome(unsigned long packed) {
  // Anything else did not come from PackOutcome (the copy crashed, say).
  if (packed >> (16 + 2 * KindBits) != 0) return {packed, {ExitFailed}};
  Outcome outcome{packed & 0xFFFF, {}};
  for (int shift = 16; shift < 16 + 2 * KindBits; shift += KindBits) {
    unsigned long kind = (packed >> shift) & 7;
    if (kind != 0) outcome.uninstalls.push_back(kind < 6 ? UninstallKinds[kind] : ExitFailed);
  }
  return outcome;
}

// Asks for administrator rights once, while the window is still in front,
// and has a copy started with them carry out the removal. Declined, nothing
// has changed: the program says so and ends.
Outcome RemoveWithRights() {
  Log(L"asking for administrator rights for the removal");
  platform::HeldProcess copy;
  try {
    copy = platform::ShellExecuteExRunAs(RemoveWithRightsSwitch);
  } catch (const platform::Failure& failure) {
    Log(L"no copy with administrator rights: " + failure.description());
    Report(NotRemovedText + failure.description(), MessageStyle, ErrorTitle);
    Finish(ExitFailed);
  }
  frmMain::Hide();
  return UnpackOutcome(ExitCodeOfCopy(copy, RemovalCopyTimeoutMs));
}

}  // namespace

void RemovePlugin() {
  LibraryOutcome library = LibraryOutcome::Deleted;
  Outcome outcome;
  try {
    if (RemovalNeedsRights()) {
      outcome = RemoveWithRights();
    } else {
      frmMain::Hide();
      outcome = CarryOutRemoval();
    }
    library = ReportLibrary(outcome.library);
    // By this copy, with the person's own rights.
    StartMessenger();
  } catch (const std::exception& failure) {
    Fail(platform::DescriptionOf(failure));
  }
  Finish(FoldExitCode(library, outcome.uninstalls));
}

namespace {
// A copy started with raised rights: it reads the registry itself and ends
// with what `work` returns.
template <class Work>
[[noreturn]] void RunCopyWithRights(Work&& work) {
  unsigned long code = ExitFailed;
  try {
    ReadInstallInfo();
    code = work();
  } catch (const std::exception&) {
    // Nothing may be shown here: the exit code tells the first copy.
  }
  Finish(code);
}
}  // namespace

void RemoveWithRightsElevated() {
  RunCopyWithRights([] { return PackOutcome(CarryOutRemoval()); });
}

void DeleteLibraryElevated() {
  RunCopyWithRights([] { return DeleteLibrary(LibraryFile()); });
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
  ScanProcesses(MessengerExe, [&](const platform::ProcessEntry& entry, const std::wstring& name) {
    processes += L" " + ProcessText(name, entry.th32ProcessID);
  });
  text += L"Processes to end:" + (processes.empty() ? L" none" : processes) + L"\r\n";
  for (const wchar_t* uninstall : UninstallsToStart())
    text += L"Uninstall to start: " + UninstallCommand(uninstall) + L"\r\n";
  const std::wstring path = LibraryFile();
  text += L"Library " + path +
          (!platform::FileExists(path)   ? L": not there"
           : platform::IsFileInUse(path) ? L": there, in use," + std::wstring(AtRestart)
                                         : L": there, to be deleted") +
          L"\r\n";
  text += MessengerToStart() ? L"Messenger to start again: " + InstallInfo.MessengerDir + MessengerExe
                             : std::wstring(L"Messenger not to be started again");
  Report(text, MessageStyle, ProgramTitle);
  Finish(ExitSuccess);
}
