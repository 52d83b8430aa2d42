// The real Windows' elevation: the token's, the start of a copy with raised
// rights, and the lines that copy sends back to its parent.
#include "win32.h"

#include <ole2.h>
#include <shellapi.h>
#include <tlhelp32.h>

namespace platform {

namespace {
// The owner of the consent prompt. Windows shows the prompt in front only
// when the window it is given is the foreground window; given none, or the
// hidden main window, it shows a flashing taskbar button instead, which the
// person who just pressed "Remove" would not see. So a one-pixel tool window
// of ours (no taskbar button) is shown for the prompt and made the
// foreground window: Windows allows that while this process is in front or
// had the last input (the click), and being our own window it needs no
// AllowSetForegroundWindow. It goes once the prompt has been answered.
class PromptOwner {
 public:
  PromptOwner()
      : window_(CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, L"STATIC", L"MSN Scribbit Removal",
                                WS_POPUP | WS_VISIBLE, GetSystemMetrics(SM_CXSCREEN) / 2,
                                GetSystemMetrics(SM_CYSCREEN) / 2, 1, 1, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr)) {
    if (window_ != nullptr) SetForegroundWindow(window_);
  }
  ~PromptOwner() { Close(); }
  PromptOwner(const PromptOwner&) = delete;
  PromptOwner& operator=(const PromptOwner&) = delete;
  HWND get() const { return window_; }
  void Close() {
    if (window_ != nullptr) DestroyWindow(window_);
    window_ = nullptr;
  }

 private:
  HWND window_;
};

constexpr wchar_t LineClass[] = L"MSN Scribbit Removal lines";
constexpr ULONG_PTR LineTag = 0x5C4C494E;  // what a WM_COPYDATA from a copy carries

LRESULT CALLBACK ReceiveLine(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto received = reinterpret_cast<void (*)(const std::wstring&)>(GetWindowLongPtrW(window, GWLP_USERDATA));
  const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
  if (message != WM_COPYDATA || received == nullptr || data->dwData != LineTag)
    return DefWindowProcW(window, message, wParam, lParam);
  try {
    received(std::wstring(static_cast<const wchar_t*>(data->lpData), data->cbData / sizeof(wchar_t)));
  } catch (const std::exception&) {
    // A line that cannot be logged is passed over, as any log line is.
  }
  return TRUE;
}

// The process that started this one, by the system's record.
DWORD ParentProcessId() {
  UniqueHandle snapshot(reinterpret_cast<Handle>(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0)));
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  if (snapshot.get() == InvalidHandleValue || !Process32FirstW(AsHandle(snapshot.get()), &entry)) return 0;
  do {
    if (entry.th32ProcessID == GetCurrentProcessId()) return entry.th32ParentProcessID;
  } while (Process32NextW(AsHandle(snapshot.get()), &entry));
  return 0;
}
}  // namespace

bool GetTokenElevation(bool& elevated) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  UniqueHandle owner(reinterpret_cast<Handle>(token));
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  if (!GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size)) return false;
  elevated = elevation.TokenIsElevated != 0;
  return true;
}

HeldProcess ShellExecuteExRunAs(const std::wstring& parameters) {
  const std::wstring self = ProgramFile();
  const std::wstring folder = SystemDirectory();
  Shell32 shell;
  auto shellExecuteEx = win32::LookUp<BOOL(WINAPI*)(SHELLEXECUTEINFOW*)>(shell.module, "ShellExecuteExW");
  if (shellExecuteEx == nullptr) throw Failure(ErrorProcNotFound, DescribeError(ErrorProcNotFound));
  PromptOwner owner;
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  // No UI of the shell's own: the program reports every failure itself.
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  info.hwnd = owner.get();
  info.lpVerb = L"runas";
  info.lpFile = self.c_str();
  info.lpParameters = parameters.c_str();
  info.lpDirectory = folder.c_str();
  info.nShow = SW_HIDE;
  // The prompt is waited for on a thread of its own, so that this one keeps
  // answering the messages sent to its windows meanwhile.
  struct Call {
    decltype(shellExecuteEx) function;
    SHELLEXECUTEINFOW* info;
    DWORD error = 0;
  } call{shellExecuteEx, &info};
  struct Thread {
    static DWORD WINAPI Run(LPVOID data) {
      auto* c = static_cast<Call*>(data);
      HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
      if (!c->function(c->info)) c->error = GetLastError();
      if (SUCCEEDED(com)) CoUninitialize();
      return 0;
    }
  };
  UniqueHandle thread(reinterpret_cast<Handle>(CreateThread(nullptr, 0, Thread::Run, &call, 0, nullptr)));
  if (thread.get() == 0) RaiseLastError();
  WaitAnswering(AsHandle(thread.get()), INFINITE);
  if (call.error != 0) throw Failure(call.error, DescribeError(call.error));
  if (info.hProcess == nullptr) throw Failure(ERROR_INVALID_HANDLE, DescribeError(ERROR_INVALID_HANDLE));
  return {UniqueHandle(reinterpret_cast<Handle>(info.hProcess)), 0};
}

// A message-only window: it gets no broadcast, and only a process at the same
// or a higher integrity level can send to it.
LineReceiver::LineReceiver(void (*received)(const std::wstring&)) {
  if (received == nullptr) return;
  WNDCLASSW type{};
  type.lpfnWndProc = ReceiveLine;
  type.hInstance = GetModuleHandleW(nullptr);
  type.lpszClassName = LineClass;
  RegisterClassW(&type);  // fails harmlessly the second time
  HWND window = CreateWindowExW(0, LineClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, type.hInstance, nullptr);
  if (window == nullptr) return;
  SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(received));
  window_ = reinterpret_cast<WindowHandle>(window);
}

LineReceiver::~LineReceiver() {
  if (window_ != 0) DestroyWindow(Hwnd(window_));
}

bool SendLineToParent(const std::wstring& line) {
  // Looked up once: the receiver of the parent process, and of no other.
  static const HWND receiver = [] {
    const DWORD parent = ParentProcessId();
    for (HWND window = nullptr; parent != 0 && (window = FindWindowExW(HWND_MESSAGE, window, LineClass, nullptr));) {
      DWORD owner = 0;
      GetWindowThreadProcessId(window, &owner);
      if (owner == parent) return window;
    }
    return static_cast<HWND>(nullptr);
  }();
  if (receiver == nullptr) return false;
  COPYDATASTRUCT data{LineTag, static_cast<DWORD>(line.size() * sizeof(wchar_t)), const_cast<wchar_t*>(line.data())};
  DWORD_PTR result = 0;
  // Not SMTO_ABORTIFHUNG: the first copy reads no input while it waits for
  // this one, and Windows may take its window for hung; it still answers sent
  // messages, and each line is bounded by the timeout.
  return SendMessageTimeoutW(receiver, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_NORMAL, 5000,
                             &result) != 0 &&
         result == TRUE;
}

}  // namespace platform
