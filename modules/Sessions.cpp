#include "Sessions.h"

#include <algorithm>
#include <vector>

#include "EventLog.h"
#include "Library.h"
#include "Log.h"
#include "Outcome.h"
#include "Shared.h"
#include "Steps.h"
#include "platform/platform.h"

namespace {

constexpr wchar_t SessionStepsSwitch[] = L"/sessionsteps";
constexpr int ShowHidden = 0;
constexpr int ShowMinimized = 2;
// All the copies together: each one's steps are bounded by the windows'
// give-up time and the wait for Messenger's exit, and they run side by side;
// the rest is a margin.
constexpr unsigned SessionCopiesTimeoutMs = CloseWindowsGiveUpMs + ProcessExitTimeoutMs + 15000;
// The copy's exit code: this marker, then the processes it ended and the
// windows it asked to close, a byte each. Anything else did not come from it.
constexpr unsigned long StepsMarker = 0x5C010000;

std::wstring Named(const SessionVisit& visit) {
  return L"session " + DecimalText(visit.session) + L" (" + (visit.user.empty() ? L"user unknown" : visit.user) + L")";
}

bool ByAdministrator(const platform::NamedMutex& name) {
  return name.owner == platform::ObjectOwner::LocalSystem || name.owner == platform::ObjectOwner::Administrators;
}

// The sessions in which Messenger runs, each once, in the order found. A
// process that ended before its session could be read is passed over.
std::vector<std::uint32_t> MessengerSessions() {
  std::vector<std::uint32_t> sessions;
  for (std::uint32_t id : MessengerProcesses()) {
    const std::uint32_t session = platform::SessionOfProcess(id);
    if (session == platform::NoSession)
      Log(L"Messenger (id " + DecimalText(id) + L") ended before its session could be read");
    else if (std::find(sessions.begin(), sessions.end(), session) == sessions.end())
      sessions.push_back(session);
  }
  return sessions;
}

// A copy started on a session's desktop.
struct SessionCopy {
  SessionVisit visit;
  platform::HeldProcess process;
};

// Waits for all the copies within one bound; one still running then is ended,
// so that it cannot end the Messenger started again after it.
void AwaitCopies(std::vector<SessionCopy>& copies) {
  const std::uint32_t start = platform::TickCount();
  for (SessionCopy& copy : copies) {
    const std::uint32_t spent = platform::TickCount() - start;
    const unsigned long code =
        platform::WaitForExitCode(copy.process, spent < SessionCopiesTimeoutMs ? SessionCopiesTimeoutMs - spent : 0);
    if (code == platform::StillActive) {
      platform::TerminateProcess(copy.process.handle.get(), ExitFailed);
      Log(Named(copy.visit) + L": the copy on its desktop still ran after " +
          DecimalText(SessionCopiesTimeoutMs / 1000) + L" s: ended");
    } else if ((code & 0xFFFF0000) == StepsMarker) {
      Run.sessions.insert(copy.visit.session);
      Log(Named(copy.visit) + L": asked " + DecimalText(code & 0xFF) + L" conversation windows to close, ended " +
          DecimalText(code >> 8 & 0xFF) + L" Messenger processes, posted MessengerPlus_PluginChange there");
    } else {
      Log(Named(copy.visit) + L": the copy on its desktop ended with exit code " +
          DecimalText(static_cast<long long>(code)));
    }
  }
}

}  // namespace

HeldNames Held;

bool IsAnotherInstanceRunning() {
  if (!Held.oneCopyClaimed) {
    Held.oneCopy = platform::CreateNamedMutex(OneCopyName);
    Held.oneCopyClaimed = true;
  }
  return Held.oneCopy.existed;
}

// Only a removal with administrator rights holds the lock: a standard user
// cannot make an object that LocalSystem or the Administrators own, so a
// lock anyone else made, or one this run may not read, is passed over, and
// nobody without rights can stop removals by taking the name first. A lock
// made by a run without those rights would be passed over by all, and so is
// not kept.
bool IsAnotherRemovalRunning() {
  platform::NamedMutex lock = platform::CreateNamedMutex(RemovalLockName);
  if (lock.existed && ByAdministrator(lock)) return true;
  if (lock.existed)
    Log(L"passed over a removal lock made by " + (lock.ownerName.empty() ? L"an owner it may not read" : lock.ownerName) +
        L": only a removal with administrator rights holds it");
  else if (ByAdministrator(lock))
    Held.removalLock = std::move(lock);
  return false;
}

// What stops a removal before it touches anything; the first case that holds:
//   another removal runs on this computer, in any session    -> busy
//   a package is to be uninstalled and Windows Installer is
//   busy with another installation                           -> busy
//   no person at the window, no library, no package          -> 1605
//   anything else                                            -> the removal
// Busy ends with 1618; a person is told why, with Windows' own words for it.
void StopWhereNothingMayChange() {
  const bool packages = !UninstallsToStart().empty();
  const wchar_t* busy = IsAnotherRemovalRunning()                  ? L"another removal is running on this computer"
                        : packages && platform::IsInstallerBusy() ? L"another installation is in progress"
                                                                  : nullptr;
  if (busy != nullptr) {
    Log(busy);
    Report(NotRemovedText + platform::DescribeError(ExitBusy), MessageStyle, ErrorTitle);
    Finish(ExitBusy);
  }
  if (Mode.quiet && !packages && !platform::FileExists(LibraryFile())) {
    Log(L"nothing to remove");
    Finish(ExitNotInstalled);
  }
}

// Who closes Messenger's windows:
//   a user's desktop here                        -> this copy, on it
//   no desktop, a session's user's token had     -> a copy in that session
//   no desktop, no session calls (Windows 2000),
//   no Messenger running, or no user's token
//   in any of its sessions                       -> this copy, as ever; logged
// Each session is on its own: one that fails is logged and the others are
// still visited. All the copies start first, then are waited for together.
SessionVisits CloseMessengerInSessions() {
  SessionVisits visits;
  if (platform::HasUserDesktop()) return visits;
  if (platform::ThisSession() == platform::NoSession) {
    Log(L"no user's desktop here: no session calls on this system");
    return visits;
  }
  const std::wstring program = platform::ProgramFile();
  std::vector<SessionCopy> copies;
  for (std::uint32_t session : MessengerSessions()) {
    SessionVisit visit{session, {}};
    const wchar_t* step = L": no user's token: ";
    try {
      platform::UniqueHandle token = platform::SessionUserToken(session);
      visit.user = platform::TokenUserName(token.get());
      visits.sessions.push_back(visit);
      step = L": no copy started on its desktop: ";
      copies.push_back({visit, platform::ShellAsUser(token.get(), program, L"\"" + program + L"\" " + SessionStepsSwitch,
                                                     ShowHidden, platform::SystemDirectory())});
    } catch (const platform::Failure& failure) {
      Log(Named(visit) + step + failure.description());
    }
  }
  visits.visited = !visits.sessions.empty();
  if (!visits.visited) Log(L"no user's desktop here, and no session's user to act as");
  AwaitCopies(copies);
  return visits;
}

void StartMessengerInSessions(const SessionVisits& visits, const std::wstring& program) {
  for (const SessionVisit& visit : visits.sessions) {
    try {
      // Asked again: the user may have signed out, or another signed in,
      // since the copy ran.
      platform::UniqueHandle token = platform::SessionUserToken(visit.session);
      const std::wstring user = platform::TokenUserName(token.get());
      if (user != visit.user) {
        Log(Named(visit) + L": Messenger not started: " + (user.empty() ? L"an unknown user" : user) +
            L" is signed in there now");
        continue;
      }
      platform::ShellAsUser(token.get(), program, L"\"" + program + L"\"", ShowMinimized, InstallInfo.MessengerDir);
      Log(Named(visit) + L": started Messenger: " + program);
    } catch (const platform::Failure& failure) {
      Log(Named(visit) + L": Messenger not started: " +
          (failure.code() == platform::ErrorNoToken ? L"its user has signed out" : failure.description()));
    }
  }
}

void CarryOutSessionSteps() {
  unsigned long code = ExitFailed;
  try {
    const DesktopSteps steps = CloseMessengerHere(platform::ThisSession());
    platform::WaitForProcessesToExit(steps.ended, ProcessExitTimeoutMs);
    code = StepsMarker | std::min(static_cast<unsigned>(steps.ended.size()), 255u) << 8 | std::min(steps.asked, 255u);
  } catch (const std::exception&) {
    // Nothing may be shown here: the exit code tells the first copy.
  }
  Finish(code);
}
