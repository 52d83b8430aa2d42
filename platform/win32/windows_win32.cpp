// The real Windows' windows and the task list: thin wrappers over the
// system calls of the same names.
#include "win32.h"

namespace platform {

bool win32::g_taskHidden = false;

long GetWindowLongA(WindowHandle window, int index) { return ::GetWindowLongA(Hwnd(window), index); }

long SetWindowLongA(WindowHandle window, int index, long value) {
  return ::SetWindowLongA(Hwnd(window), index, value);
}

int SetWindowPos(WindowHandle window, WindowHandle insertAfter, int x, int y, int cx, int cy,
                 unsigned flags) {
  return ::SetWindowPos(Hwnd(window), Hwnd(insertAfter), x, y, cx, cy, flags);
}

int SetLayeredWindowAttributes(WindowHandle window, Color key, std::uint8_t alpha,
                               std::uint32_t flags) {
  // Looked up at run time: systems before Windows 2000 do not have it.
  static const auto function = win32::LookUp<BOOL(WINAPI*)(HWND, COLORREF, BYTE, DWORD)>(
      GetModuleHandleW(L"user32.dll"), "SetLayeredWindowAttributes");
  if (function == nullptr) throw Failure(ErrorProcNotFound, DescribeError(ErrorProcNotFound));
  return function(Hwnd(window), key, alpha, flags);
}

int ReleaseCapture() { return ::ReleaseCapture(); }

std::intptr_t SendMessageA(WindowHandle window, unsigned message, std::uintptr_t wParam,
                           std::intptr_t lParam) {
  return ::SendMessageA(Hwnd(window), message, wParam, lParam);
}

bool IsLeftButtonDown() {
  // The logical (primary) button, as the mouse messages report it: the key
  // state already follows swapped buttons.
  return (GetKeyState(VK_LBUTTON) & 0x8000) != 0;
}

WindowHandle FindWindowExA(WindowHandle after, const std::wstring& className) {
  std::string narrow = WideToNarrow(className);
  return reinterpret_cast<WindowHandle>(::FindWindowExA(nullptr, Hwnd(after), narrow.c_str(), nullptr));
}

bool IsWindow(WindowHandle window) { return ::IsWindow(Hwnd(window)) != FALSE; }

bool SendMessageTimeoutA(WindowHandle window, unsigned message, std::uintptr_t wParam,
                         std::intptr_t lParam, unsigned timeoutMs) {
  DWORD_PTR result = 0;
  return ::SendMessageTimeoutA(Hwnd(window), message, wParam, lParam,
                               SMTO_NORMAL | SMTO_ABORTIFHUNG, timeoutMs, &result) != 0;
}

unsigned RegisterWindowMessageA(const std::wstring& name) {
  std::string narrow = WideToNarrow(name);
  return ::RegisterWindowMessageA(narrow.c_str());
}

int PostMessageA(WindowHandle window, unsigned message, std::uintptr_t wParam,
                 std::intptr_t lParam) {
  return ::PostMessageA(Hwnd(window), message, wParam, lParam);
}

namespace {
BOOL CALLBACK HideFromTaskList(HWND window, LPARAM process) {
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == static_cast<DWORD>(process)) {
    LONG_PTR style = GetWindowLongPtrW(window, GWL_EXSTYLE);
    SetWindowLongPtrW(window, GWL_EXSTYLE, (style | WS_EX_TOOLWINDOW) & ~WS_EX_APPWINDOW);
  }
  return TRUE;
}
}  // namespace

void RemoveFromTaskList() {
  win32::g_taskHidden = true;
  EnumWindows(HideFromTaskList, static_cast<LPARAM>(GetCurrentProcessId()));
}

}  // namespace platform
