#include "Rights.h"

#include "EventLog.h"
#include "Library.h"
#include "Shared.h"
#include "Unattended.h"
#include "forms/frmMain.h"
#include "platform/platform.h"

namespace {

// The one argument of each copy started with raised rights: the one that
// deletes the library, and the one that carries out the whole removal.
constexpr wchar_t DeleteLibrarySwitch[] = L"/deletelibrary";
constexpr wchar_t RemoveWithRightsSwitch[] = L"/removewithrights";

// The copy with raised rights only deletes one file; one that has not ended
// by then is taken as failed.
constexpr unsigned ElevatedCopyTimeoutMs = 60000;
// The copy that carries out the removal: every bound of its own steps, and
// a margin.
constexpr unsigned RemovalCopyTimeoutMs =
    CloseWindowsGiveUpMs + ProcessExitTimeoutMs + 2 * (InstallerFocusTimeoutMs + UninstallTimeoutMs) + 60000;


// Only where User Account Control gave the program a token that is not
// elevated (Vista and later), and never in a quiet run: nobody is there to
// answer the prompt.
bool CanAskForRights() {
  bool elevated = true;
  return !Mode.quiet && IsVistaOrLater() && platform::GetTokenElevation(elevated) && !elevated;
}

// The exit code of a copy started with raised rights; one still running
// after `timeoutMs` is taken as timed out.
unsigned long ExitCodeOfCopy(const platform::HeldProcess& copy, unsigned timeoutMs) {
  unsigned long code = platform::WaitForExitCode(copy, timeoutMs);
  if (code == platform::StillActive) code = platform::ErrorWaitTimeout;
  Log(L"the copy with administrator rights ended with exit code " + DecimalText(static_cast<long long>(code)));
  return code;
}

}  // namespace

bool IsVistaOrLater() {
  platform::VersionRecord version{};
  version.dwOSVersionInfoSize = sizeof version;
  return platform::GetVersionExA(version) == 1 && version.dwMajorVersion >= 6;
}

bool HasRaisedRights() {
  bool elevated = false;
  return (IsVistaOrLater() && platform::GetTokenElevation(elevated) && elevated) || platform::IsLocalSystem();
}

// A package to uninstall (its entry is under HKLM, so it is
// per-machine, and Windows Installer would ask for each), or a library this
// token may not delete.
bool RemovalNeedsRights() {
  return CanAskForRights() && (!UninstallsToStart().empty() ||
                               platform::OpenForDelete(LibraryFile()) == platform::ErrorAccessDenied);
}

// Only that step runs with raised rights: Messenger, started again later,
// must not inherit them.
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

namespace {

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

}  // namespace

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

namespace {
// A copy started with raised rights: it reads the registry itself and ends
// with what `work` returns.
template <class Work>
[[noreturn]] void RunCopyWithRights(Work&& work) {
  unsigned long code = ExitFailed;
  try {
    // The first copy, without these rights, may then report the run's event.
    RegisterEventSourceIfAllowed();
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
