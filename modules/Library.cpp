#include "Library.h"

#include "EventLog.h"
#include "Log.h"
#include "Shared.h"
#include "platform/platform.h"

namespace {

constexpr wchar_t LibraryPath[] = L"\\MsnScribbit.dll";

bool IsAbsent(unsigned long code) {
  return code == platform::ErrorFileNotFound || code == platform::ErrorPathNotFound ||
         code == platform::ErrorInvalidName;
}

}  // namespace

bool IsScheduledForDeletion(const std::wstring& path) {
  const std::vector<std::wstring> pending = platform::PendingFileRenameOperations();
  const std::wstring wanted = platform::LowerCase(path);
  for (std::size_t i = 0; i + 1 < pending.size(); i += 2) {
    std::wstring source = pending[i];
    if (source.compare(0, 4, L"\\??\\") == 0) source.erase(0, 4);
    if (pending[i + 1].empty() && platform::LowerCase(source) == wanted) return true;
  }
  return false;
}

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
  // A run again before the restart (a deployment retrying after 3010) adds
  // no second entry.
  if (inUse && IsScheduledForDeletion(path)) {
    Log(L"already scheduled " + path + AtRestart);
    Run.alreadyScheduled = true;
    return ExitRestartNeeded;
  }
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
