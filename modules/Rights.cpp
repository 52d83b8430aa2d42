#include "Rights.h"

#include "Library.h"
#include "Log.h"
#include "Outcome.h"
#include "Shared.h"
#include "Steps.h"
#include "api.h"
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
