#include "Functions.h"

#include <algorithm>
#include <cstring>

#include "Shared.h"
#include "forms/frmMain.h"
#include "platform/platform.h"

std::vector<std::uint32_t> TerminatedProcessIds;
std::vector<platform::UniqueHandle> TerminatedProcesses;

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
        platform::SendMessageTimeoutA(window, WmClose, 0, 0,
                                      std::min(CloseRequestTimeoutMs, CloseWindowsBudgetMs - spent));
      } else {
        platform::PostMessageA(window, WmClose, 0, 0);
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

// Starts a Windows Installer uninstall and confirms its prompt with Enter,
// but only once the prompt has the focus, so the key cannot land elsewhere.
void StartUninstall(const std::wstring& arguments) {
  std::wstring program = platform::SystemDirectory() + L"\\MsiExec.exe";
  platform::StartedProcess installer =
      platform::Shell(program, L"MsiExec.exe " + arguments, ShowNormal);
  if (platform::WaitForFocusInProcess(installer, InstallerFocusTimeoutMs)) platform::SendEnterKey();
}

// Starts exactly the Messenger of the install directory, minimised. Without
// a directory nothing is started: a search by bare name would look in this
// program's own folder first, where anything could be saved beside it.
void StartMessenger() {
  if (InstallInfo.MessengerDir.empty()) return;
  std::wstring program = InstallInfo.MessengerDir + MessengerExe;
  platform::Shell(program, L"\"" + program + L"\"", ShowMinimized);
}

bool IsAbsent(unsigned long code) {
  return code == platform::ErrorFileNotFound || code == platform::ErrorPathNotFound ||
         code == platform::ErrorInvalidName;
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
  try {
    std::wstring wanted = platform::LowerCase(target);
    platform::ProcessEntry entry{};
    entry.dwSize = sizeof entry;
    {
      platform::UniqueHandle snapshot(platform::CreateToolhelp32Snapshot(SnapProcess, 0));
      for (int more = platform::Process32First(snapshot.get(), entry); more != 0;
           more = platform::Process32Next(snapshot.get(), entry)) {
        std::size_t length = strnlen(entry.szExeFile, sizeof entry.szExeFile);
        std::wstring name = platform::LowerCase(platform::NarrowToWide(entry.szExeFile, length));
        if (!NameMatches(name, wanted)) continue;
        found = true;
        platform::UniqueHandle process(
            platform::OpenProcess(ProcessAllAccess, false, entry.th32ProcessID));
        if (process.get() != 0 && platform::TerminateProcess(process.get(), 0) != 0) {
          TerminatedProcessIds.push_back(entry.th32ProcessID);
          TerminatedProcesses.push_back(std::move(process));
        }
      }
    }
    ProcessKilled = true;
  } catch (const std::exception&) {
    // An abandoned scan reports what it found so far and leaves the flag alone.
  }
  return found;
}

void RemovePlugin() {
  frmMain::Hide();
  CloseConversationWindows();
  KillProcessByName(MessengerExe);
  // A scan abandoned on a failure leaves ProcessKilled false; the removal goes
  // on regardless, as nothing else could set it.

  unsigned pluginChange = platform::RegisterWindowMessageA(PluginChangeMessage);
  platform::PostMessageA(HwndBroadcast, pluginChange, 0, 0);

  if (InstallInfo.DisplayNames[InkName] == L"Ink") StartUninstall(InkUninstall);
  if (InstallInfo.DisplayNames[InfoPenName] == L"InfoPen for Outlook ")
    StartUninstall(InfoPenUninstall);

  platform::WaitForProcessesToExit(TerminatedProcesses, ProcessExitTimeoutMs);
  try {
    platform::Kill(InstallInfo.PluginDir + LibraryPath);
  } catch (const platform::Failure& failure) {
    if (IsAbsent(failure.code())) {
      platform::MsgBox(AbsentText, MessageStyle, ErrorTitle);
    } else {
      platform::MsgBox(NotRemovedText + failure.description(), MessageStyle, ErrorTitle);
    }
    StartMessenger();
    platform::End();
  }
  platform::MsgBox(SuccessText, MessageStyle, SuccessTitle);
  StartMessenger();
  platform::End();
}
