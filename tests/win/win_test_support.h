// Helpers for the tests that run under Wine against the real system.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win32/win32.h"

namespace wintest {

// A kernel handle closed when it goes out of scope.
class Owned {
 public:
  explicit Owned(HANDLE h = nullptr) : h_(h) {}
  ~Owned() {
    if (h_ != nullptr && h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
  }
  Owned(Owned&& o) noexcept : h_(o.h_) { o.h_ = nullptr; }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  Owned& operator=(Owned&& o) noexcept {
    std::swap(h_, o.h_);
    return *this;
  }
  HANDLE get() const { return h_; }

 private:
  HANDLE h_;
};

struct Child {
  Owned process;
  DWORD id = 0;
};

// Starts `program` with `arguments`; fails the test when it cannot start.
inline Child Start(const std::wstring& program, const std::wstring& arguments) {
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::wstring line = L"\"" + program + L"\" " + arguments;
  BOOL ok = CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                           nullptr, &si, &pi);
  EXPECT_TRUE(ok) << "cannot start " << std::string(program.begin(), program.end())
                  << ", error " << GetLastError();
  Child child;
  if (ok) {
    CloseHandle(pi.hThread);
    child.process = Owned(pi.hProcess);
    child.id = pi.dwProcessId;
  }
  return child;
}

inline DWORD ExitCode(HANDLE process) {
  DWORD code = 0;
  GetExitCodeProcess(process, &code);
  return code;
}

inline std::wstring ThisExe() {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return path;
}

inline std::wstring ThisDirectory() {
  std::wstring path = ThisExe();
  return path.substr(0, path.find_last_of(L'\\') + 1);
}

inline std::wstring TempDir(const std::wstring& name) {
  wchar_t base[MAX_PATH];
  GetTempPathW(MAX_PATH, base);
  std::wstring dir = std::wstring(base) + name;
  CreateDirectoryW(dir.c_str(), nullptr);
  return dir;
}

inline std::wstring Env(const wchar_t* name) {
  wchar_t value[MAX_PATH * 2];
  DWORD n = GetEnvironmentVariableW(name, value, MAX_PATH * 2);
  return n > 0 && n < MAX_PATH * 2 ? std::wstring(value, n) : std::wstring();
}

// Polls `condition` every 10 ms until it holds or `timeoutMs` has passed.
template <class F>
bool WaitUntil(F condition, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    if (condition()) return true;
    if (GetTickCount() - start >= timeoutMs) return false;
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
    Sleep(10);
  }
}

}  // namespace wintest
