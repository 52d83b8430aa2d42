#include "Steps.h"

#include <algorithm>
#include <optional>

#include "EventLog.h"
#include "Log.h"
#include "Shared.h"
#include "api.h"

std::vector<platform::HeldProcess> TerminatedProcesses;

namespace {

constexpr wchar_t PluginChangeMessage[] = L"MessengerPlus_PluginChange";
constexpr unsigned WmClose = 0x10;
constexpr platform::WindowHandle HwndBroadcast = 0xFFFF;
constexpr int ShowNormal = 1;

// Enough to end a process and wait for its end: another user's process
// grants no more to an administrator.
constexpr std::uint32_t TerminateAccess = 0x00100001;  // PROCESS_TERMINATE | SYNCHRONIZE

// A window that does not answer in this time is left to the process
// termination that follows; once all requests together have taken the
// longer time, the remaining windows get their request without waiting.
constexpr unsigned CloseRequestTimeoutMs = 2000;
constexpr unsigned CloseWindowsBudgetMs = 5000;

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
  Log(L"... confirmed its prompt with Enter");
  if (platform::WaitForExitCode(installer, PromptRetryMs) != platform::StillActive ||
      platform::WaitForFocusInProcess(installer, PromptRetryMs, prompt) == 0)
    return;
  Log(L"... its prompt was still there: Enter once more");
  platform::SendEnterKey();
}

}  // namespace

std::vector<const wchar_t*> UninstallsToStart() {
  std::vector<const wchar_t*> out;
  if (InstallInfo.DisplayNames[InkName] == L"Ink") out.push_back(InkUninstall);
  if (InstallInfo.DisplayNames[InfoPenName] == L"InfoPen for Outlook ") out.push_back(InfoPenUninstall);
  return out;
}

std::wstring UninstallCommand(const wchar_t* arguments) {
  return L"MsiExec.exe " + std::wstring(arguments) + (Mode.silentUninstalls ? L" /qn /norestart" : L"");
}

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

std::wstring ProcessText(const std::wstring& name, std::uint32_t id) {
  return name + L" (id " + DecimalText(id) + L")";
}

bool NameMatches(const std::wstring& entryName, const std::wstring& target) {
  std::size_t length = target.size();
  std::wstring tail =
      entryName.size() < length ? entryName : entryName.substr(entryName.size() - length);
  return tail == target;
}

bool KillProcessByName(const std::wstring& target, std::uint32_t session, std::vector<platform::HeldProcess>& ended) {
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
      ended.push_back({std::move(process), entry.th32ProcessID});
    } else {
      Log(L"could not end process " + ProcessText(name, entry.th32ProcessID));
    }
  });
  if (complete) ProcessKilled = true;
  return found;
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
  KillProcessByName(MessengerExe, session, steps.ended);
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
