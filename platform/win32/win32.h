// Shared by the Win32 implementation files.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>

#include "platform/platform.h"

namespace platform::win32 {

// True once the program has left the task list: its windows get no taskbar
// button and no Alt+Tab entry.
extern bool g_taskHidden;

// True once a failure nothing caught is being reported: the process then ends
// with TerminateProcess, running nothing more of its own on the way out.
extern bool g_failing;
// Set once the failure handler's report is written and its box is shown.
extern HANDLE g_failureBoxShown;
[[noreturn]] void ExitNow(unsigned exitCode);

// Loads a library of the system directory by its full path: a load by bare
// name could also find a copy saved beside the program. Null when missing.
HMODULE LoadSystemLibrary(const wchar_t* name);

// A function looked up at run time, for calls that not every supported
// Windows has (the program must load on 2000 and XP x64). Null when missing.
template <class Function>
Function LookUp(HMODULE module, const char* name) {
  return module == nullptr ? nullptr
                           : reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// A GDI object deleted when it goes out of scope.
template <class T>
class GdiObject {
 public:
  GdiObject() = default;
  explicit GdiObject(T object) : object_(object) {}
  ~GdiObject() {
    if (object_ != nullptr) DeleteObject(object_);
  }
  GdiObject(const GdiObject&) = delete;
  GdiObject& operator=(const GdiObject&) = delete;
  GdiObject(GdiObject&& other) noexcept : object_(other.object_) { other.object_ = nullptr; }
  GdiObject& operator=(GdiObject&& other) noexcept {
    std::swap(object_, other.object_);
    return *this;
  }
  T get() const { return object_; }

 private:
  T object_ = nullptr;
};

}  // namespace platform::win32

// What the files that implement platform.h share, in its namespace.
namespace platform {

// The portable handles as the system's.
inline HWND Hwnd(WindowHandle window) { return reinterpret_cast<HWND>(window); }
inline HANDLE AsHandle(Handle handle) { return reinterpret_cast<HANDLE>(handle); }

// Raises Failure with the calling thread's last error.
[[noreturn]] void RaiseLastError();

// WaitForSingleObject that keeps handling the messages sent to this thread's
// windows: another program's SendMessage to all windows returns at once. Posted
// messages and input stay queued, so no press or key is acted on meanwhile.
DWORD WaitAnswering(HANDLE object, DWORD timeoutMs);

// For CreateProcess and its kin: the new program's window shown as
// `showState` asks.
STARTUPINFOW StartupShowing(int showState);
// The process CreateProcess started, its thread's handle closed.
HeldProcess Held(const PROCESS_INFORMATION& info);

// shell32, loaded only for the calls that need it and freed after them: a
// plain start does not load it at all.
struct Shell32 {
  HMODULE module = win32::LoadSystemLibrary(L"shell32.dll");
  Shell32() = default;
  Shell32(const Shell32&) = delete;
  Shell32& operator=(const Shell32&) = delete;
  ~Shell32() {
    if (module != nullptr) FreeLibrary(module);
  }
};

}  // namespace platform
