#include "Library.h"

#include "Functions.h"
#include "Shared.h"
#include "Unattended.h"
#include "platform/platform.h"

namespace {

constexpr wchar_t LibraryPath[] = L"\\MsnScribbit.dll";

bool IsAbsent(unsigned long code) {
  return code == platform::ErrorFileNotFound || code == platform::ErrorPathNotFound ||
         code == platform::ErrorInvalidName;
}

}  // namespace

std::wstring LibraryFile() { return InstallInfo.PluginDir + LibraryPath; }

unsigned long DeleteLibrary(const std::wstring& path) {
  auto attempt = [&]() -> unsigned long {
    try {
      platform::Kill(path);
      Log(L"deleted " + path);
      return ExitSuccess;
    } catch (const platform::Failure& failure) {
      Log(L"did not delete " + path + L": " + failure.description());
      return failure.code();
    }
  };
  unsigned long error = attempt();
  if (error == ExitSuccess) return ExitSuccess;
  if (IsAbsent(error)) return ExitNotInstalled;
  const std::uint32_t attributes = platform::GetFileAttributesW(path);
  bool readOnly = error == platform::ErrorAccessDenied && attributes != platform::InvalidFileAttributes &&
                  (attributes & platform::FileAttributeReadOnly) != 0;
  const bool cleared =
      readOnly && platform::SetFileAttributesW(path, attributes & ~platform::FileAttributeReadOnly);
  if (cleared) {
    Log(L"cleared the read-only attribute of " + path);
    error = attempt();
    if (error == ExitSuccess) return ExitSuccess;
    readOnly = false;
  }
  // Refused although this token may delete it (and it is not read-only):
  // a program has it loaded. Held open without delete sharing: in use too.
  const bool inUse = error == platform::ErrorSharingViolation ||
                     (error == platform::ErrorAccessDenied && !readOnly && platform::OpenForDelete(path) == 0);
  if (inUse) {
    try {
      platform::MoveFileExDelayUntilReboot(path);
      Log(L"scheduled " + path + AtRestart);
      return ExitRestartNeeded;
    } catch (const platform::Failure& failure) {
      Log(L"could not schedule " + path + AtRestart + L": " + failure.description());
      error = failure.code();
    }
  }
  if (cleared) platform::SetFileAttributesW(path, attributes);
  return error;
}
