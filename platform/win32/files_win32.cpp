// The real Windows' files: each change checked against redirection where
// the system can tell, deletion by handle, the processes that hold a file,
// and the log file's appends.
#include "win32.h"

#include <tlhelp32.h>

#include <vector>

namespace platform {

namespace {
// Vista on: what the checks against redirection need. Not declared for the
// oldest systems the build names, so declared here.
struct FileBasicInformation {
  LARGE_INTEGER creationTime, lastAccessTime, lastWriteTime, changeTime;
  DWORD fileAttributes;
};
constexpr int FileBasicInfoClass = 0, FileDispositionInfoClass = 4;
using SetFileInformation = BOOL(WINAPI*)(HANDLE, int, LPVOID, DWORD);
using GetFinalPath = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);

struct ByHandle {
  SetFileInformation set = win32::LookUp<SetFileInformation>(GetModuleHandleW(L"kernel32.dll"), "SetFileInformationByHandle");
  GetFinalPath finalPath = win32::LookUp<GetFinalPath>(GetModuleHandleW(L"kernel32.dll"), "GetFinalPathNameByHandleW");
  bool available() const { return set != nullptr && finalPath != nullptr; }
};
const ByHandle& FileCalls() {
  static const ByHandle calls;
  return calls;
}

// The full path as given, with long names, but no link resolved.
std::wstring FullLongPath(const std::wstring& path) {
  std::wstring full(32768, L'\0');
  DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (length == 0 || length >= full.size()) return path;
  full.resize(length);
  std::wstring longer(32768, L'\0');
  length = GetLongPathNameW(full.c_str(), longer.data(), static_cast<DWORD>(longer.size()));
  if (length == 0 || length >= longer.size()) return full;
  longer.resize(length);
  return longer;
}

// Raises ErrorRedirected when Windows resolves the open file to another path
// than the one it was opened by.
void CheckNotRedirected(HANDLE file, const std::wstring& path) {
  std::wstring resolved(32768, L'\0');
  DWORD length = FileCalls().finalPath(file, resolved.data(), static_cast<DWORD>(resolved.size()), 0);
  if (length == 0 || length >= resolved.size()) RaiseLastError();
  resolved.resize(length);
  if (!IsSamePath(FullLongPath(path), resolved))
    throw Failure(ErrorRedirected, L"a folder on its path is redirected, to " + resolved);
}

// The file itself, not what a reparse point at its end names, checked as
// above. Raises Failure as CreateFileW fails.
UniqueHandle OpenNotRedirected(const std::wstring& path, DWORD access) {
  UniqueHandle file(reinterpret_cast<Handle>(
      CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr)));
  if (file.get() == InvalidHandleValue) RaiseLastError();
  CheckNotRedirected(AsHandle(file.get()), path);
  return file;
}

bool DisposeOf(HANDLE file) {
  BOOLEAN remove = TRUE;
  return FileCalls().set(file, FileDispositionInfoClass, &remove, sizeof remove) != FALSE;
}

unsigned long OpenError(const std::wstring& path, DWORD access) {
  HANDLE file = CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return GetLastError();
  ::CloseHandle(file);
  return 0;
}

// The paths of a process's modules, 32-bit ones too, or nothing where it may
// not be looked into.
std::vector<std::wstring> ModulesOf(DWORD processId) {
  std::vector<std::wstring> paths;
#ifdef _WIN64
  // Windows 7 on: the module list of the process itself, which a 64-bit
  // program reads for a 32-bit one where Wine's Toolhelp cannot (error 998).
  using Enumerate = BOOL(WINAPI*)(HANDLE, HMODULE*, DWORD, LPDWORD, DWORD);
  using FileName = DWORD(WINAPI*)(HANDLE, HMODULE, LPWSTR, DWORD);
  static const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  static const auto enumerate = win32::LookUp<Enumerate>(kernel, "K32EnumProcessModulesEx");
  static const auto fileName = win32::LookUp<FileName>(kernel, "K32GetModuleFileNameExW");
  if (enumerate != nullptr && fileName != nullptr) {
    constexpr DWORD AllModules = 3;  // LIST_MODULES_ALL
    UniqueHandle process(
        reinterpret_cast<Handle>(::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId)));
    if (process.get() == 0) return paths;
    std::vector<HMODULE> modules(256);
    for (;;) {  // the list may grow between two calls: read until it fits
      const DWORD room = static_cast<DWORD>(modules.size() * sizeof(HMODULE));
      DWORD bytes = 0;
      if (!enumerate(AsHandle(process.get()), modules.data(), room, &bytes, AllModules)) return paths;
      if (bytes <= room) {
        modules.resize(bytes / sizeof(HMODULE));
        break;
      }
      modules.resize(bytes / sizeof(HMODULE) + 16);
    }
    for (HMODULE module : modules) {
      std::wstring name(32768, L'\0');
      DWORD length = fileName(AsHandle(process.get()), module, name.data(), static_cast<DWORD>(name.size()));
      if (length != 0) paths.push_back(name.substr(0, length));
    }
    return paths;
  }
  const DWORD kinds = TH32CS_SNAPMODULE | TH32CS_SNAPMODULE32;  // Vista and XP x64: 32-bit processes' too
#else
  const DWORD kinds = TH32CS_SNAPMODULE;
#endif
  UniqueHandle snapshot(reinterpret_cast<Handle>(::CreateToolhelp32Snapshot(kinds, processId)));
  MODULEENTRY32W module{};
  module.dwSize = sizeof module;
  if (snapshot.get() == InvalidHandleValue || !Module32FirstW(AsHandle(snapshot.get()), &module)) return paths;
  do paths.push_back(module.szExePath);
  while (Module32NextW(AsHandle(snapshot.get()), &module));
  return paths;
}
}  // namespace

void Kill(const std::wstring& path) {
  // 2000 and XP: as the program always did.
  if (!FileCalls().available()) {
    if (!DeleteFileW(path.c_str())) RaiseLastError();
    return;
  }
  // Deleted through the handle that was checked: nothing can be swapped in
  // between.
  UniqueHandle file = OpenNotRedirected(path, DELETE | FILE_READ_ATTRIBUTES);
  if (!DisposeOf(AsHandle(file.get()))) RaiseLastError();
}

bool FileExists(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

unsigned long OpenForDelete(const std::wstring& path) { return OpenError(path, DELETE); }

unsigned long FileInUse(const std::wstring& path) {
  // A library that a process has loaded can be opened for DELETE, but not
  // for writing: Windows refuses that while the image is mapped.
  const unsigned long errors[] = {OpenError(path, DELETE), OpenError(path, FILE_WRITE_DATA)};
  for (unsigned long error : errors)
    if (error == ERROR_SHARING_VIOLATION) return error;
  for (unsigned long error : errors)
    if (error == ERROR_ACCESS_DENIED) return error;
  return 0;
}

std::vector<std::uint32_t> ProcessesWithModule(const std::wstring& path) {
  std::vector<std::uint32_t> holders;
  const std::wstring wanted = LowerCase(FullLongPath(path));
  UniqueHandle processes(reinterpret_cast<Handle>(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0)));
  PROCESSENTRY32W process{};
  process.dwSize = sizeof process;
  if (processes.get() == InvalidHandleValue || !Process32FirstW(AsHandle(processes.get()), &process)) return holders;
  do {
    for (const std::wstring& module : ModulesOf(process.th32ProcessID))
      if (LowerCase(module) == wanted) {
        holders.push_back(process.th32ProcessID);
        break;
      }
  } while (Process32NextW(AsHandle(processes.get()), &process));
  return holders;
}

std::uint32_t GetFileAttributesW(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()); }

bool SetFileAttributesW(const std::wstring& path, std::uint32_t attributes) {
  if (!FileCalls().available()) return ::SetFileAttributesW(path.c_str(), attributes) != FALSE;
  try {
    UniqueHandle file = OpenNotRedirected(path, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES);
    FileBasicInformation basic{};  // times of 0: left as they are
    basic.fileAttributes = attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;
    return FileCalls().set(AsHandle(file.get()), FileBasicInfoClass, &basic, sizeof basic) != FALSE;
  } catch (const Failure&) {
    return false;
  }
}

void MoveFileExDelayUntilReboot(const std::wstring& path) {
  if (FileCalls().available()) OpenNotRedirected(path, FILE_READ_ATTRIBUTES);
  if (!MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) RaiseLastError();
}

bool AppendToFile(const std::wstring& path, const std::wstring& text) {
  // Opened for each piece and closed again: what was written is on disk
  // whatever happens next, and others may read the file meanwhile. A run as
  // SYSTEM may be pointed at a folder where anyone can plant a link to a file
  // only administrators may change: a link itself (a reparse point) is opened,
  // not followed, and it or a file with another name (a hard link) is left
  // unwritten.
  // Nor is anything written, or even created, through a redirected folder:
  // its folder is checked before the file is opened, the file after.
  if (FileCalls().available()) {
    try {
      const std::size_t end = path.find_last_of(L"\\/");
      std::wstring folder = end == std::wstring::npos ? L"." : path.substr(0, end);
      if (folder.empty() || folder.back() == L':') folder += L"\\";  // a drive's root
      UniqueHandle opened(reinterpret_cast<Handle>(
          CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr)));
      if (opened.get() == InvalidHandleValue) return false;
      CheckNotRedirected(AsHandle(opened.get()), folder);
    } catch (const Failure&) {
      return false;
    }
  }
  UniqueHandle file(reinterpret_cast<Handle>(
      CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr)));
  if (file.get() != InvalidHandleValue && FileCalls().available()) {
    try {
      CheckNotRedirected(AsHandle(file.get()), path);
    } catch (const Failure&) {
      return false;
    }
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (file.get() == InvalidHandleValue || !GetFileInformationByHandle(AsHandle(file.get()), &info) ||
      info.nNumberOfLinks != 1 || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
    return false;
  int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                 nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size,
                      nullptr, nullptr);
  DWORD written = 0;
  const DWORD end = SetFilePointer(AsHandle(file.get()), 0, nullptr, FILE_END);
  // A new file starts with the byte-order mark, by which Notepad of every
  // Windows reads it as UTF-8.
  if (end == 0) bytes.insert(0, "\xEF\xBB\xBF");
  return end != INVALID_SET_FILE_POINTER &&
         WriteFile(AsHandle(file.get()), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                   nullptr) &&
         written == bytes.size();
}

}  // namespace platform
