// The real Windows as a whole: machine-wide registry values, the event log,
// the local time, the system's description, the command line and the
// desktop this process runs on.
#include "win32.h"

#include <vector>

namespace platform {

namespace {
constexpr wchar_t ApplicationLogKey[] = L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";

// A registry key closed when it goes out of scope.
struct UniqueKey {
  HKEY key = nullptr;
  ~UniqueKey() {
    if (key != nullptr) RegCloseKey(key);
  }
};

// A text value (REG_SZ, REG_EXPAND_SZ unexpanded, REG_MULTI_SZ with its
// nulls) of a key under HKLM; empty when it or its key is missing.
std::wstring MachineValue(const std::wstring& keyPath, const wchar_t* name) {
  UniqueKey key;
  DWORD type = 0, size = 0;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_QUERY_VALUE, &key.key) != ERROR_SUCCESS ||
      RegQueryValueExW(key.key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ))
    return {};
  std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
  if (RegQueryValueExW(key.key, name, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size) != ERROR_SUCCESS)
    return {};
  value.resize(size / sizeof(wchar_t));
  while (!value.empty() && value.back() == L'\0' && type != REG_MULTI_SZ) value.pop_back();
  return value;
}

// An event source's handle, deregistered when it goes out of scope.
struct EventSourceHandle {
  HANDLE handle = nullptr;
  ~EventSourceHandle() {
    if (handle != nullptr) DeregisterEventSource(handle);
  }
};

std::wstring ObjectName(HANDLE object) {
  wchar_t name[256] = {};
  DWORD needed = 0;
  if (object == nullptr || !GetUserObjectInformationW(object, UOI_NAME, name, sizeof name - sizeof name[0], &needed))
    return {};
  return name;
}
}  // namespace

std::wstring SoftwareKeyOf32BitPrograms() {
#ifdef _WIN64
  return L"HKLM\\Software\\Wow6432Node\\";
#else
  // A 32-bit program on 64-bit Windows is redirected there by the system.
  return L"HKLM\\Software\\";
#endif
}

std::wstring SystemDirectory() {
  wchar_t buffer[MAX_PATH];
  UINT length = GetSystemDirectoryW(buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) RaiseLastError();
  return std::wstring(buffer, length);
}

DateTime LocalTime() {
  // One instant, in UTC and local time: their difference is the offset.
  FILETIME utc{}, local{};
  GetSystemTimeAsFileTime(&utc);
  FileTimeToLocalFileTime(&utc, &local);
  SYSTEMTIME now{};
  FileTimeToSystemTime(&local, &now);
  auto ticks = [](const FILETIME& time) {
    return static_cast<long long>((static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
  };
  const int offset = static_cast<int>((ticks(local) - ticks(utc)) / 600000000LL);
  return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, offset};
}

std::wstring EventSourceMessageFile(const std::wstring& source) {
  return MachineValue(ApplicationLogKey + source, L"EventMessageFile");
}

unsigned long RegisterEventSourceKey(const std::wstring& source, const std::wstring& messageFile,
                                     std::uint32_t typesSupported) {
  UniqueKey key;
  LONG error = RegCreateKeyExW(HKEY_LOCAL_MACHINE, (ApplicationLogKey + source).c_str(), 0, nullptr,
                               REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &key.key, nullptr);
  if (error == ERROR_SUCCESS)
    error = RegSetValueExW(key.key, L"EventMessageFile", 0, REG_EXPAND_SZ,
                           reinterpret_cast<const BYTE*>(messageFile.c_str()),
                           static_cast<DWORD>((messageFile.size() + 1) * sizeof(wchar_t)));
  const DWORD types = typesSupported;
  if (error == ERROR_SUCCESS)
    error = RegSetValueExW(key.key, L"TypesSupported", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&types),
                           sizeof types);
  return static_cast<unsigned long>(error);
}

unsigned long ReportEventW(const std::wstring& source, std::uint16_t type, std::uint32_t id,
                           const std::wstring& text) {
  EventSourceHandle log{RegisterEventSourceW(nullptr, source.c_str())};
  if (log.handle == nullptr) return GetLastError();
  const wchar_t* strings[] = {text.c_str()};
  return ::ReportEventW(log.handle, type, 0, id, nullptr, 1, 0, strings, nullptr) ? 0 : GetLastError();
}

std::vector<std::wstring> PendingFileRenameOperations() {
  const std::wstring value = MachineValue(L"SYSTEM\\CurrentControlSet\\Control\\Session Manager",
                                          L"PendingFileRenameOperations");
  std::vector<std::wstring> entries;
  for (std::size_t start = 0; start < value.size();) {
    std::size_t end = value.find(L'\0', start);
    if (end == std::wstring::npos) end = value.size();
    entries.push_back(value.substr(start, end - start));
    start = end + 1;
  }
  return entries;
}

SystemFacts DescribeSystem() {
  SystemFacts facts;
  wchar_t computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  if (GetComputerNameW(computer, &size)) facts.computer.assign(computer, size);
  HANDLE token = nullptr;
  if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
    const UniqueHandle owner(reinterpret_cast<Handle>(token));
    facts.account = TokenUserName(owner.get());
  }
  const std::uint32_t session = ThisSession();
  facts.session = session == NoSession ? -1 : static_cast<long>(session);
  return facts;
}

std::vector<std::wstring> CommandLineArguments() {
  // Past the program's name (quoted, or up to the first blank): when nothing
  // follows, shell32 is not loaded at all, so a plain start stays as quick.
  const wchar_t* rest = GetCommandLineW();
  if (*rest == L'"') {
    for (++rest; *rest != L'\0' && *rest != L'"'; ++rest) {}
    if (*rest == L'"') ++rest;
  } else {
    while (*rest != L'\0' && *rest != L' ' && *rest != L'\t') ++rest;
  }
  while (*rest == L' ' || *rest == L'\t') ++rest;
  if (*rest == L'\0') return {};

  Shell32 shell;
  struct Arguments {
    LPWSTR* argv = nullptr;
    ~Arguments() { LocalFree(argv); }
  } split;
  auto commandLineToArgv =
      win32::LookUp<LPWSTR*(WINAPI*)(LPCWSTR, int*)>(shell.module, "CommandLineToArgvW");
  int count = 0;
  if (commandLineToArgv != nullptr) split.argv = commandLineToArgv(GetCommandLineW(), &count);
  if (split.argv == nullptr) RaiseLastError();
  return std::vector<std::wstring>(split.argv + (count > 0 ? 1 : 0), split.argv + count);
}

bool HasUserDesktop() {
  if (LowerCase(ObjectName(GetProcessWindowStation())) != L"winsta0") return false;
  if (LowerCase(ObjectName(GetThreadDesktop(GetCurrentThreadId()))) != L"default") return false;
  // Looked up at run time: Windows 2000 without Terminal Services lacks it.
  static const auto sessionOf = win32::LookUp<BOOL(WINAPI*)(DWORD, DWORD*)>(
      GetModuleHandleW(L"kernel32.dll"), "ProcessIdToSessionId");
  DWORD session = 1;
  if (sessionOf == nullptr || !sessionOf(GetCurrentProcessId(), &session)) return true;
  // Before Vista the first user to log on sits in session 0; from Vista on
  // no user ever does.
  VersionRecord version{};
  version.dwOSVersionInfoSize = sizeof version;
  return session != 0 || (GetVersionExA(version) != 0 && version.dwMajorVersion < 6);
}

std::wstring ProgramFile() {
  std::wstring self(32768, L'\0');
  DWORD length = GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
  if (length == 0 || length >= self.size()) RaiseLastError();
  self.resize(length);
  return self;
}

}  // namespace platform
