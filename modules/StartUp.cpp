#include "StartUp.h"

#include "EventLog.h"
#include "Functions.h"
#include "Log.h"
#include "Outcome.h"
#include "Sessions.h"
#include "Shared.h"
#include "forms/frmMain.h"
#include "platform/platform.h"

namespace {

constexpr wchar_t UsageText[] =
    L"ScribbitRemoval.exe [/quiet] [/log <file>] [/preview] [/?]\r\n\r\n"
    L"/quiet\tremove without any window or message; the uninstalls run silently\r\n"
    L"/log <file>\tappend a log of the run to the file\r\n"
    L"/preview\tchange nothing; report what a removal would do\r\n"
    L"/?\tshow this text\r\n\r\n"
    L"Exit codes: 0 removed, 3010 removed and a restart is needed, 1605 not installed, "
    L"1603 failed, 1618 another installation is running (retry later), 1639 invalid command line.";

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::wstring>& arguments) {
  CommandLine line;
  auto isSwitch = [](const std::wstring& argument) {
    return argument.size() > 1 && (argument[0] == L'/' || argument[0] == L'-');
  };
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::wstring& argument = arguments[i];
    std::wstring name = isSwitch(argument) ? platform::LowerCase(argument.substr(1)) : std::wstring();
    if (name == L"quiet") {
      line.quiet = true;
    } else if (name == L"preview") {
      line.preview = true;
    } else if (name == L"?") {
      line.help = true;
    } else if (name == L"deletelibrary") {
      line.deleteLibrary = true;
    } else if (name == L"removewithrights") {
      line.removeWithRights = true;
    } else if (name == L"sessionsteps") {
      line.sessionSteps = true;
    } else if (name == L"log" && i + 1 < arguments.size() && !arguments[i + 1].empty() &&
               !isSwitch(arguments[i + 1])) {  // "/log /quiet": a file is missing
      line.logPath = arguments[++i];
    } else {
      line.valid = false;
    }
  }
  // Nothing may steer what a copy the program started does.
  if ((line.deleteLibrary || line.removeWithRights || line.sessionSteps) && arguments.size() != 1) line.valid = false;
  return line;
}

void StartUp(const std::vector<std::wstring>& arguments) {
  // Where no user sits (a service, session 0, a scheduled task), a window
  // would wait for a click that never comes.
  const bool desktop = platform::HasUserDesktop();
  if (arguments.empty()) {
    if (!desktop) platform::End(ExitFailed);
    frmMain::Show();
    return;
  }
  CommandLine line = ParseCommandLine(arguments);
  // A copy the program started shows nothing and writes nothing: the copy
  // that started it reports for it. Windows Installer's own prompts are
  // still shown to the person waiting on it.
  const bool copy = line.deleteLibrary || line.removeWithRights || line.sessionSteps;
  const bool unattended = line.quiet || copy;
  Mode = {true, unattended || !desktop, line.quiet, copy ? L"" : line.logPath};
  Run.startTick = platform::TickCount();
  Run.leavesEvent = !copy;
  for (const std::wstring& argument : arguments) Run.arguments += L" " + argument;
  if (!Mode.logPath.empty()) Log(HeaderLine(platform::DescribeSystem()));
  // From here a copy's lines go to the log of the copy that started it.
  Mode.linesToParent = copy;
  // An invalid command line still says so; no box shows where no one could
  // answer it.
  if (line.valid && !unattended && !desktop) {
    Log(L"no user's desktop here to show a window on: run the program with /quiet");
    Finish(ExitFailed);
  }
  if (!line.valid || line.help) {
    Report(UsageText, line.valid ? MessageStyle : ErrorStyle, ProgramTitle);
    Finish(line.valid ? ExitSuccess : ExitInvalidCommandLine);
  }
  // It runs beside the copy that started it, which holds the single-instance
  // token.
  if (line.deleteLibrary) DeleteLibraryElevated();
  if (line.removeWithRights) RemoveWithRightsElevated();
  if (line.sessionSteps) CarryOutSessionSteps();
  if (IsAnotherInstanceRunning()) {
    Log(L"another copy of the program is running");
    Finish(ExitBusy);
  }
  if (line.preview || line.quiet) {
    ReadInstallInfo();
    if (line.preview) PreviewRemoval();
    RemovePlugin();
  }
  frmMain::Show();
}
