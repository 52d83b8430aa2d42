#include "Rights.h"

#include "EventLog.h"
#include "Library.h"
#include "Sessions.h"
#include "Shared.h"
#include "Unattended.h"
#include "forms/frmMain.h"
#include "platform/platform.h"

namespace {

// The one argument of each copy started with raised rights: the one that
// deletes the library, and the one that carries out the whole removal.
constexpr wchar_t DeleteLibrarySwitch[] = L"/deletelibrary";
constexpr wchar_t RemoveWithRightsSwitch[] = L"/removewithrights";

// Longer than any line the copy writes (a path, a system error's text).
constexpr std::size_t MaxCopyLineLength = 1024;
// The copy with raised rights only deletes one file; one that has not ended
// by then is taken as failed.
constexpr unsigned ElevatedCopyTimeoutMs = 60000;
// The copy that carries out the removal: every bound of its own steps, and
// a margin.
constexpr unsigned RemovalCopyTimeoutMs =
    CloseWindowsGiveUpMs + ProcessExitTimeoutMs + 2 * (InstallerFocusTimeoutMs + 2 * PromptRetryMs + UninstallTimeoutMs) + 60000;


// Only where User Account Control gave the program a token that is not
// elevated (Vista and later), and never in a quiet run: nobody is there to
// answer the prompt.
bool CanAskForRights() {
  bool elevated = true;
  return !Mode.quiet && IsVistaOrLater() && platform::GetTokenElevation(elevated) && !elevated;
}

// The lines of the copy go into this copy's log while it runs, written by
// this copy with its own rights: the copy with raised rights writes no file.
// Any process of this user may send them, so each is made one line of a
// bounded length before it is written.
platform::LineReceiver LinesOfCopy() {
  void (*log)(const std::wstring&) = [](const std::wstring& line) {
    std::wstring one = line.substr(0, MaxCopyLineLength);
    for (wchar_t& c : one)
      if (c == L'\r' || c == L'\n' || c == L'\0') c = L' ';
    Log(one + (line.size() > MaxCopyLineLength ? L" [cut]" : L""));
  };
  return platform::LineReceiver(Mode.logPath.empty() ? nullptr : log);
}

// What a copy started with raised rights did, from its exit code; one still
// running after `timeoutMs` did not finish.
Outcome OutcomeOfCopy(const platform::HeldProcess& copy, unsigned timeoutMs) {
  unsigned long code = platform::WaitForExitCode(copy, timeoutMs);
  if (code == platform::StillActive) {
    Log(L"the copy with administrator rights is still running after " + DecimalText(timeoutMs / 1000) + L" s");
    return {0, {}, L"the copy with administrator rights did not finish in time.", {}};
  }
  Log(L"the copy with administrator rights ended with exit code " + DecimalText(static_cast<long long>(code)));
  return UnpackOutcome(code);
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
void RemoveLibrary(const std::wstring& path, Outcome& outcome) {
  outcome.library = DeleteLibrary(path);
  if (outcome.library != platform::ErrorAccessDenied || !CanAskForRights()) return;
  Log(L"asking for administrator rights to delete " + path);
  try {
    platform::LineReceiver lines = LinesOfCopy();
    Outcome copy = OutcomeOfCopy(platform::ShellExecuteExRunAs(DeleteLibrarySwitch), ElevatedCopyTimeoutMs);
    outcome.library = copy.library;
    outcome.failure = copy.failure;
  } catch (const platform::Failure& failure) {
    Log(L"no copy with administrator rights: " + failure.description());
    outcome.library = failure.code();
  }
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

// A copy's exit code carries this in its top byte when the copy itself chose
// it: anything else (0 from a watchdog that ended it, a fault's code) means
// it did not finish its work. With it, bit 23 marks a failure whose system
// error is in the low 16 bits; without that bit the code is PackOutcome's.
constexpr unsigned long CopyMarkMask = 0xFF000000;
constexpr unsigned long CopyMark = 0x5Cul << 24;
constexpr unsigned long CopyFailed = 1ul << 23;

}  // namespace

unsigned long PackFailure(unsigned long error) {
  // An automation failure carrying a system error (0x8007xxxx) passes that on.
  if (error > 0xFFFF) error = error >> 16 == 0x8007 ? error & 0xFFFF : ExitFailed;
  return CopyMark | CopyFailed | error;
}

Outcome UnpackOutcome(unsigned long packed) {
  if ((packed & CopyMarkMask) != CopyMark)
    return {0, {}, L"the copy with administrator rights ended unexpectedly, with exit code " +
                       DecimalText(static_cast<long long>(packed)) + L".", {}};
  if ((packed & CopyFailed) != 0) return {0, {}, platform::DescribeError(packed & 0xFFFF), {}};
  Outcome outcome{packed & 0xFFFF, {}, {}, {}};
  for (int shift = 16; shift < 16 + 2 * KindBits; shift += KindBits) {
    unsigned long kind = (packed >> shift) & 7;
    if (kind != 0) outcome.uninstalls.push_back(kind < 6 ? UninstallKinds[kind] : ExitFailed);
  }
  return outcome;
}

unsigned long PackOutcome(const Outcome& outcome) {
  unsigned long packed = CopyMark | (outcome.library & 0xFFFF);
  int shift = 16;
  for (unsigned long code : outcome.uninstalls) {
    packed |= KindOf(code) << shift;
    shift += KindBits;
  }
  return packed;
}

bool IsCopyWithRights() { return Mode.linesToParent; }

Outcome RemoveWithRights() {
  Log(L"asking for administrator rights for the removal");
  platform::LineReceiver lines = LinesOfCopy();
  platform::HeldProcess copy;
  try {
    copy = platform::ShellExecuteExRunAs(RemoveWithRightsSwitch);
  } catch (const platform::Failure& failure) {
    Log(L"no copy with administrator rights: " + failure.description());
    Report(NotRemovedText + failure.description(), MessageStyle, ErrorTitle);
    Finish(ExitFailed);
  }
  frmMain::Hide();
  return OutcomeOfCopy(copy, RemovalCopyTimeoutMs);
}

namespace {
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

void RemoveWithRightsElevated() {
  // The first copy, without these rights, could not take the removal lock.
  RunCopyWithRights([] { return IsAnotherRemovalRunning() ? PackFailure(ExitBusy) : PackOutcome(CarryOutRemoval()); });
}

void DeleteLibraryElevated() {
  RunCopyWithRights([] { return PackOutcome({DeleteLibrary(LibraryFile()), {}, {}, {}}); });
}
