// The real Windows' processes: the process list, starts, and the waits on
// them that keep answering messages.
#include "win32.h"

#include <tlhelp32.h>

#include <cstring>
#include <vector>

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(PROCESSENTRY32) == 296, "narrow PROCESSENTRY32 on 32-bit Windows");
#endif
static_assert(sizeof(platform::ProcessEntry) == sizeof(PROCESSENTRY32));
static_assert(offsetof(platform::ProcessEntry, szExeFile) == offsetof(PROCESSENTRY32, szExeFile));

namespace platform {

DWORD WaitAnswering(HANDLE object, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    const DWORD elapsed = GetTickCount() - start;
    const DWORD left = timeoutMs == INFINITE ? INFINITE : elapsed < timeoutMs ? timeoutMs - elapsed : 0;
    const DWORD result = MsgWaitForMultipleObjects(1, &object, FALSE, left, QS_SENDMESSAGE);
    if (result != WAIT_OBJECT_0 + 1) return result;
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

STARTUPINFOW StartupShowing(int showState) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = static_cast<WORD>(showState);
  return startup;
}

HeldProcess Held(const PROCESS_INFORMATION& info) {
  ::CloseHandle(info.hThread);
  return {UniqueHandle(reinterpret_cast<Handle>(info.hProcess)), info.dwProcessId};
}

namespace {
// Copies between the portable record and the system's, field by field.
void ToSystem(const ProcessEntry& in, PROCESSENTRY32& out) {
  std::memset(&out, 0, sizeof out);
  out.dwSize = in.dwSize;
}
void FromSystem(const PROCESSENTRY32& in, ProcessEntry& out) {
  out.dwSize = in.dwSize;
  out.cntUsage = in.cntUsage;
  out.th32ProcessID = in.th32ProcessID;
  out.th32DefaultHeapID = in.th32DefaultHeapID;
  out.th32ModuleID = in.th32ModuleID;
  out.cntThreads = in.cntThreads;
  out.th32ParentProcessID = in.th32ParentProcessID;
  out.pcPriClassBase = in.pcPriClassBase;
  out.dwFlags = in.dwFlags;
  std::memcpy(out.szExeFile, in.szExeFile, sizeof out.szExeFile);
}

// The foreground window when it belongs to the process, is shown, and a
// window of the process has the keyboard focus (a key with no focus goes to
// the active window as a system key, which a dialog ignores); else null.
HWND FocusedForegroundOf(DWORD processId, HWND* focus = nullptr) {
  GUITHREADINFO gui{};
  gui.cbSize = sizeof gui;
  if (focus != nullptr) *focus = nullptr;
  if (!GetGUIThreadInfo(0, &gui) || gui.hwndFocus == nullptr || gui.hwndActive != GetForegroundWindow() ||
      !IsWindowVisible(gui.hwndActive))
    return nullptr;
  DWORD focusOwner = 0, activeOwner = 0;
  GetWindowThreadProcessId(gui.hwndFocus, &focusOwner);
  GetWindowThreadProcessId(gui.hwndActive, &activeOwner);
  if (focusOwner != processId || activeOwner != processId) return nullptr;
  if (focus != nullptr) *focus = gui.hwndFocus;
  return gui.hwndActive;
}
}  // namespace

Handle CreateToolhelp32Snapshot(std::uint32_t flags, std::uint32_t processId) {
  return reinterpret_cast<Handle>(::CreateToolhelp32Snapshot(flags, processId));
}

namespace {
// One step of the snapshot through the system's own entry.
int SnapshotStep(BOOL(WINAPI* step)(HANDLE, PROCESSENTRY32*), Handle snapshot, ProcessEntry& entry) {
  PROCESSENTRY32 system;
  ToSystem(entry, system);
  BOOL result = step(AsHandle(snapshot), &system);
  if (result) FromSystem(system, entry);
  return result;
}
}  // namespace

int Process32First(Handle snapshot, ProcessEntry& entry) { return SnapshotStep(::Process32First, snapshot, entry); }
int Process32Next(Handle snapshot, ProcessEntry& entry) { return SnapshotStep(::Process32Next, snapshot, entry); }

Handle OpenProcess(std::uint32_t access, bool inherit, std::uint32_t processId) {
  return reinterpret_cast<Handle>(::OpenProcess(access, inherit, processId));
}

int TerminateProcess(Handle process, std::uint32_t exitCode) {
  return ::TerminateProcess(AsHandle(process), exitCode);
}

int CloseHandle(Handle handle) { return ::CloseHandle(AsHandle(handle)); }

bool WaitForProcessesToExit(const std::vector<HeldProcess>& processes, unsigned timeoutMs) {
  DWORD start = GetTickCount();
  bool all = true;
  for (const HeldProcess& process : processes) {
    DWORD elapsed = GetTickCount() - start;
    DWORD left = elapsed < timeoutMs ? timeoutMs - elapsed : 0;
    if (WaitAnswering(AsHandle(process.handle.get()), left) != WAIT_OBJECT_0) all = false;
  }
  return all;
}

std::uint32_t TickCount() { return GetTickCount(); }

HeldProcess Shell(const std::wstring& program, const std::wstring& commandLine, int showState,
                  const std::wstring& currentDirectory) {
  STARTUPINFOW startup = StartupShowing(showState);
  PROCESS_INFORMATION info{};
  std::wstring line = commandLine;  // CreateProcessW may write to it
  // Started with the system's own error mode, not the one this program set
  // for itself.
  if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_DEFAULT_ERROR_MODE,
                      nullptr, currentDirectory.c_str(), &startup, &info))
    RaiseLastError();
  return Held(info);
}

WindowHandle WaitForFocusInProcess(const HeldProcess& process, unsigned timeoutMs, WindowHandle prompt) {
  // While a window comes to the front, Wine 10 passes the foreground to other
  // windows and back (the desktop's, the one in front before); a key sent
  // meanwhile is lost or lands there. So the prompt counts once it has held
  // the focus for a while and its thread answers messages.
  constexpr DWORD SettleMs = 200, PollMs = 20;
  const DWORD start = GetTickCount();
  HWND seen = nullptr, seenFocus = nullptr, focus = nullptr;
  DWORD since = start;
  for (;;) {
    HWND now = FocusedForegroundOf(process.id, &focus);
    if (prompt != 0 && now != Hwnd(prompt)) now = nullptr;
    if (now != seen || focus != seenFocus) since = GetTickCount();
    seen = now;
    seenFocus = focus;
    DWORD_PTR ignored = 0;
    if (now != nullptr && GetTickCount() - since >= SettleMs &&
        SendMessageTimeoutA(now, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, SettleMs, &ignored) != 0 &&
        FocusedForegroundOf(process.id) == now)
      return reinterpret_cast<WindowHandle>(now);
    if (prompt != 0 && !IsWindow(Hwnd(prompt))) return 0;
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= timeoutMs) return 0;
    // Stop early when the process has already ended.
    const DWORD wait = timeoutMs - elapsed < PollMs ? timeoutMs - elapsed : PollMs;
    if (WaitAnswering(AsHandle(process.handle.get()), wait) == WAIT_OBJECT_0) return 0;
  }
}

void SendEnterKey() {
  INPUT keys[2]{};
  keys[0].type = INPUT_KEYBOARD;
  keys[0].ki.wVk = VK_RETURN;
  keys[1] = keys[0];
  keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(2, keys, sizeof(INPUT));
}

unsigned long WaitForExitCode(const HeldProcess& process, unsigned timeoutMs) {
  DWORD code = StillActive;
  if (WaitAnswering(AsHandle(process.handle.get()), timeoutMs) == WAIT_OBJECT_0)
    GetExitCodeProcess(AsHandle(process.handle.get()), &code);
  return code;
}

}  // namespace platform
