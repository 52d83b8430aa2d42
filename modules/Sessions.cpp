#include "Sessions.h"

#include <algorithm>
#include <vector>

#include "EventLog.h"
#include "Functions.h"
#include "Library.h"
#include "Shared.h"
#include "Unattended.h"
#include "platform/platform.h"

namespace {

constexpr wchar_t SessionStepsSwitch[] = L"/sessionsteps";
constexpr int ShowHidden = 0;
constexpr int ShowMinimized = 2;
// The copy's own steps are bounded by the windows' give-up time and the wait
// for Messenger's exit; the rest is a margin.
constexpr unsigned SessionCopyTimeoutMs = CloseWindowsGiveUpMs + ProcessExitTimeoutMs + 15000;
// The copy's exit code: this marker, then the processes it ended and the
// windows it asked to close, a byte each. Anything else did not come from it.
constexpr unsigned long StepsMarker = 0x5C010000;

// A session in which Messenger ran, and its user's token.
struct Visit {
  std::uint32_t session;
  std::wstring user;
  platform::UniqueHandle token;
};
std::vector<Visit> Visits;
bool Visited = false;

std::wstring Named(const Visit& visit) {
  return L"session " + DecimalText(visit.session) + L" (" + (visit.user.empty() ? L"user unknown" : visit.user) + L")";
}

// The sessions in which Messenger runs, each with its user's token; empty
// where one cannot be had, with the reason in `why`.
std::vector<Visit> MessengerSessions(std::wstring& why) {
  std::vector<Visit> visits;
  for (std::uint32_t id : MessengerProcesses()) {
    const std::uint32_t session = platform::SessionOfProcess(id);
    if (session == platform::NoSession) {
      why = L"no session calls on this system";
      return {};
    }
    if (std::any_of(visits.begin(), visits.end(), [&](const Visit& v) { return v.session == session; })) continue;
    try {
      platform::UniqueHandle token = platform::SessionUserToken(session);
      std::wstring user = platform::TokenUserName(token.get());
      visits.push_back({session, std::move(user), std::move(token)});
    } catch (const platform::Failure& failure) {
      why = L"no user's token for session " + DecimalText(session) + L": " + failure.description();
      return {};
    }
  }
  if (visits.empty()) why = L"Messenger runs in no session";
  return visits;
}

}  // namespace

// What stops a removal before it touches anything; the first case that holds:
//   another removal runs on this computer, in any session    -> busy
//   a package is to be uninstalled and Windows Installer is
//   busy with another installation                           -> busy
//   no person at the window, no library, no package          -> 1605
//   anything else                                            -> the removal
// Busy ends with 1618; a person is told why, with Windows' own words for it.
void StopWhereNothingMayChange() {
  const bool packages = !UninstallsToStart().empty();
  const wchar_t* busy = platform::IsAnotherRemovalRunning()     ? L"another removal is running on this computer"
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

void ForgetSessions() {
  Visited = false;
  Visits.clear();
}

// Who closes Messenger's windows:
//   a user's desktop here                     -> this copy, on it
//   no desktop, Messenger's sessions reached  -> a copy in each of them
//   no desktop, no session calls (Windows
//   2000), no token, or no Messenger running  -> this copy, as ever; logged
bool CloseMessengerInSessions() {
  ForgetSessions();
  if (platform::HasUserDesktop()) return false;
  std::wstring why;
  Visits = MessengerSessions(why);
  if (Visits.empty()) {
    Log(L"no user's desktop here: " + why);
    return false;
  }
  Visited = true;
  const std::wstring program = platform::ProgramFile();
  for (const Visit& visit : Visits) {
    try {
      platform::HeldProcess copy = platform::ShellAsUser(visit.token.get(), program,
                                                         L"\"" + program + L"\" " + SessionStepsSwitch, ShowHidden,
                                                         platform::SystemDirectory());
      const unsigned long code = platform::WaitForExitCode(copy, SessionCopyTimeoutMs);
      if ((code & 0xFFFF0000) == StepsMarker) {
        Run.sessions.insert(visit.session);
        Log(Named(visit) + L": asked " + DecimalText(code & 0xFF) + L" conversation windows to close, ended " +
            DecimalText(code >> 8 & 0xFF) + L" Messenger processes, posted MessengerPlus_PluginChange there");
      } else {
        Log(Named(visit) + L": the copy on its desktop ended with exit code " + DecimalText(static_cast<long long>(code)));
      }
    } catch (const platform::Failure& failure) {
      Log(Named(visit) + L": no copy started on its desktop: " + failure.description());
    }
  }
  return true;
}

bool StartMessengerInSessions(const std::wstring& program) {
  if (!Visited) return false;
  for (const Visit& visit : Visits) {
    try {
      platform::ShellAsUser(visit.token.get(), program, L"\"" + program + L"\"", ShowMinimized, InstallInfo.MessengerDir);
      Log(Named(visit) + L": started Messenger: " + program);
    } catch (const platform::Failure& failure) {
      Log(Named(visit) + L": Messenger not started: " + failure.description());
    }
  }
  return true;
}

void CarryOutSessionSteps() {
  unsigned long code = ExitFailed;
  try {
    const DesktopSteps steps = CloseMessengerHere(platform::ThisSession());
    platform::WaitForProcessesToExit(TerminatedProcesses, ProcessExitTimeoutMs);
    code = StepsMarker | std::min(steps.ended, 255u) << 8 | std::min(steps.asked, 255u);
  } catch (const std::exception&) {
    // Nothing may be shown here: the exit code tells the first copy.
  }
  Finish(code);
}
