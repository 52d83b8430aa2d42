// The real Windows' locks: the one-copy check, the removal lock, and
// whether Windows Installer is busy.
#include "win32.h"

namespace platform {

namespace {
// Right after CreateMutexW: true when another process made the mutex first,
// or made it so that this one may not open it (it runs with raised rights).
bool HeldElsewhere(HANDLE mutex) {
  const DWORD error = GetLastError();
  return mutex != nullptr ? error == ERROR_ALREADY_EXISTS : error == ERROR_ACCESS_DENIED;
}
}  // namespace

bool IsAnotherInstanceRunning() {
  // Created atomically: of two copies started together exactly one creates it.
  // The last error is read at once, before anything else can change it.
  struct Token {
    UniqueHandle handle;
    bool another;
  };
  static const Token token = [] {
    HANDLE mutex = CreateMutexW(nullptr, FALSE,
                                L"Local\\MSN Scribbit Removal {5B0F3C1E-2D7A-4E59-9C61-7A1D2F0B8E43}");
    return Token{UniqueHandle(reinterpret_cast<Handle>(mutex)), HeldElsewhere(mutex)};
  }();
  return token.another;
}

bool IsAnotherRemovalRunning() {
  struct Token {
    UniqueHandle handle;
    bool another;
  };
  static const Token token = [] {
    HANDLE mutex = CreateMutexW(nullptr, FALSE, L"Global\\MSN Scribbit Removal {5B0F3C1E-2D7A-4E59-9C61-7A1D2F0B8E43}");
    return Token{UniqueHandle(reinterpret_cast<Handle>(mutex)), HeldElsewhere(mutex)};
  }();
  return token.another;
}

bool IsInstallerBusy() {
  UniqueHandle mutex(reinterpret_cast<Handle>(OpenMutexW(SYNCHRONIZE, FALSE, L"Global\\_MSIExecute")));
  return mutex.get() != 0 || GetLastError() == ERROR_ACCESS_DENIED;
}

}  // namespace platform
