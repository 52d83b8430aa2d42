#include "EventLog.h"

#include <cstring>

#include "Log.h"
#include "Shared.h"
#include "resources/resource.h"

RunRecord Run;

namespace {

constexpr wchar_t ProgramText[] = L"MSN Scribbit Removal " VERSION_TEXT;
constexpr std::uint32_t AllEventTypes = platform::EventError | platform::EventWarning | platform::EventInformation;

// Each exit code's event: its type, its id (within the message file's 1 to
// 1000) and what it means.
struct EventKind {
  unsigned exitCode;
  std::uint16_t type;
  std::uint32_t id;
  const wchar_t* meaning;
};
constexpr EventKind EventKinds[] = {
    {ExitSuccess, platform::EventInformation, 1, L"removed"},
    {ExitRestartNeeded, platform::EventInformation, 2, L"a restart is needed"},
    {ExitNotInstalled, platform::EventWarning, 3, L"nothing to remove"},
    {ExitFailed, platform::EventError, 4, L"failed"},
    {ExitBusy, platform::EventError, 5, L"another installation is in progress; retry later"},
    {ExitInvalidCommandLine, platform::EventError, 6, L"invalid command line"},
};
// A run that removed nothing (/preview, /?) and ended well.
constexpr EventKind NothingChanged = {ExitSuccess, platform::EventInformation, 7, L"nothing was changed"};

std::wstring BuildText() { return sizeof(void*) == 8 ? L"x64" : L"x86"; }

std::wstring LibraryFate(const RunRecord& run) {
  if (!run.copyFailure.empty()) return L"not deleted: " + run.copyFailure;
  switch (run.libraryCode) {
    case ExitSuccess: return L"deleted";
    case ExitRestartNeeded:
      return run.alreadyScheduled ? L"in use, already scheduled to be deleted when Windows restarts"
                                  : L"in use, scheduled to be deleted when Windows restarts";
    case ExitNotInstalled: return L"not there";
    default: return L"not deleted: " + platform::DescribeError(run.libraryCode);
  }
}

}  // namespace

RunEvent DescribeRun(const RunRecord& run, unsigned exitCode) {
  EventKind kind = {exitCode, platform::EventError, 4, L"failed"};
  for (const EventKind& known : EventKinds)
    if (known.exitCode == exitCode) kind = known;
  if (!run.removal && exitCode == ExitSuccess) kind = NothingChanged;
  std::wstring text = std::wstring(ProgramText) + L" (" + BuildText() + L") ended with exit code " +
                      DecimalText(exitCode) + L": " + kind.meaning + L".";
  if (!run.library.empty()) {
    const std::wstring fate = LibraryFate(run);  // a system error's text may end with its own period
    text += L"\r\nLibrary " + run.library + L": " + fate + (fate.back() == L'.' ? L"" : L".");
  }
  for (const auto& [product, code] : run.uninstalls)
    text += L"\r\nUninstall " + product + L": exit code " + DecimalText(static_cast<long long>(code)) + L".";
  if (run.removal) {
    std::wstring sessions;
    for (std::uint32_t session : run.sessions) sessions += (sessions.empty() ? L"" : L", ") + DecimalText(session);
    text += L"\r\nSessions reached: " + (sessions.empty() ? L"none" : sessions) + L".";
  }
  text += L"\r\nArguments:" + (run.arguments.empty() ? L" none" : run.arguments);
  return {kind.type, kind.id, text};
}

std::wstring ResultLine(unsigned exitCode, std::uint32_t elapsedMs) {
  return L"result: exit code " + DecimalText(exitCode) +
         (exitCode == ExitRestartNeeded ? L", restart needed, " : L", no restart needed, ") +
         DecimalText(elapsedMs / 1000) + L"." + DecimalText(elapsedMs / 100 % 10) + L" s";
}

std::wstring HeaderLine(const platform::SystemFacts& system) {
  platform::VersionRecord version{};
  version.dwOSVersionInfoSize = sizeof version;
  std::wstring windows = L"Windows unknown";
  if (platform::GetVersionExA(version) == 1) {
    const std::size_t length = strnlen(version.szCSDVersion, sizeof version.szCSDVersion);
    windows = L"Windows " + DecimalText(version.dwMajorVersion) + L"." + DecimalText(version.dwMinorVersion) + L"." +
              DecimalText(version.dwBuildNumber) +
              (length == 0 ? L"" : L" " + platform::NarrowToWide(version.szCSDVersion, length));
  }
  return L"---- " + std::wstring(ProgramText) + L" (" + BuildText() + L") on " + system.computer +
         L", account " + system.account + L", session " +
         (system.session < 0 ? std::wstring(L"unknown") : DecimalText(system.session)) + L", " + windows +
         L", arguments:" + Run.arguments;
}

unsigned long RegisterEventSourceIfAllowed() {
  const std::wstring current = platform::EventSourceMessageFile(EventSource);
  if (current == EventMessageFile) return 0;
  // HKLM\SYSTEM: only administrators may write there; a source registered
  // before (another message file, say) still takes the event.
  unsigned long error = platform::RegisterEventSourceKey(EventSource, EventMessageFile, AllEventTypes);
  return current.empty() ? error : 0;
}

void ReportRunEvent(unsigned exitCode) {
  unsigned long error = RegisterEventSourceIfAllowed();
  if (error == platform::ErrorAccessDenied) {
    Log(L"no Application event: registering its source needs administrator rights");
    return;
  }
  const RunEvent event = DescribeRun(Run, exitCode);
  if (error == 0) error = platform::ReportEventW(EventSource, event.type, event.id, event.text);
  Log(error == 0 ? L"reported Application event " + DecimalText(event.id) + L" of " + EventSource
                 : L"no Application event: " + platform::DescribeError(error));
}
