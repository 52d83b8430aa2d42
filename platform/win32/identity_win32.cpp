// The real Windows' identities: tokens, starts as another user, sessions
// and privileges.
#include "win32.h"

#include <vector>

namespace platform {

namespace {
// A primary token of `process`'s user, for starting a program with it.
UniqueHandle PrimaryTokenOf(HANDLE process) {
  HANDLE token = nullptr, primary = nullptr;
  if (!OpenProcessToken(process, TOKEN_DUPLICATE | TOKEN_QUERY | TOKEN_ASSIGN_PRIMARY, &token)) RaiseLastError();
  UniqueHandle owner(reinterpret_cast<Handle>(token));
  if (!DuplicateTokenEx(token, TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY | TOKEN_ADJUST_DEFAULT |
                                   TOKEN_ADJUST_SESSIONID,
                        nullptr, SecurityImpersonation, TokenPrimary, &primary))
    RaiseLastError();
  return UniqueHandle(reinterpret_cast<Handle>(primary));
}

// The process that owns the desktop shell's window, else the taskbar.
UniqueHandle DesktopShellProcess() {
  HWND shell = GetShellWindow();
  if (shell == nullptr) shell = FindWindowW(L"Shell_TrayWnd", nullptr);
  DWORD owner = 0;
  if (shell == nullptr || GetWindowThreadProcessId(shell, &owner) == 0)
    throw Failure(ErrorNotFound, L"no desktop shell to take the user's own rights from");
  UniqueHandle process(reinterpret_cast<Handle>(
      ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_CREATE_PROCESS, FALSE, owner)));
  if (process.get() == 0) RaiseLastError();
  return process;
}

// A user's environment block (CreateEnvironmentBlock, looked up at run time),
// destroyed when it goes out of scope. One that cannot be made raises: the
// program started would get this process's TEMP and profile instead.
class UserEnvironment {
 public:
  explicit UserEnvironment(HANDLE token) {
    using Create = BOOL(WINAPI*)(LPVOID*, HANDLE, BOOL);
    if (auto create = win32::LookUp<Create>(Userenv(), "CreateEnvironmentBlock"); create != nullptr)
      if (!create(&block_, token, FALSE)) {
        block_ = nullptr;
        RaiseLastError();
      }
  }
  ~UserEnvironment() {
    using Destroy = BOOL(WINAPI*)(LPVOID);
    if (block_ != nullptr) win32::LookUp<Destroy>(Userenv(), "DestroyEnvironmentBlock")(block_);
  }
  UserEnvironment(const UserEnvironment&) = delete;
  UserEnvironment& operator=(const UserEnvironment&) = delete;
  void* get() const { return block_; }

 private:
  static HMODULE Userenv() {
    static const HMODULE module = win32::LoadSystemLibrary(L"userenv.dll");  // kept for the process
    return module;
  }
  void* block_ = nullptr;
};

wchar_t g_interactiveDesktop[] = L"winsta0\\default";

// STARTUPINFOEXW and its attribute calls (Vista on): declared here, as the
// build names XP as its oldest system.
struct StartupInfoEx {
  STARTUPINFOW StartupInfo;
  void* lpAttributeList;
};
constexpr DWORD ExtendedStartupInfoPresent = 0x00080000;
constexpr DWORD_PTR ParentProcessAttribute = 0x00020000;

// Starts the program as a child of `parent`, so that it takes the parent's
// token; false where the system has no such attribute.
bool StartAsChildOf(HANDLE parent, const std::wstring& program, std::wstring& line, DWORD flags, void* environment,
                    const std::wstring& currentDirectory, int showState, PROCESS_INFORMATION& info) {
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  auto init = win32::LookUp<BOOL(WINAPI*)(void*, DWORD, DWORD, SIZE_T*)>(kernel, "InitializeProcThreadAttributeList");
  auto update = win32::LookUp<BOOL(WINAPI*)(void*, DWORD, DWORD_PTR, void*, SIZE_T, void*, SIZE_T*)>(
      kernel, "UpdateProcThreadAttribute");
  auto remove = win32::LookUp<void(WINAPI*)(void*)>(kernel, "DeleteProcThreadAttributeList");
  if (init == nullptr || update == nullptr || remove == nullptr) return false;
  SIZE_T size = 0;
  init(nullptr, 1, 0, &size);
  std::vector<unsigned char> list(size);
  if (!init(list.data(), 1, 0, &size)) RaiseLastError();
  struct Deleted {
    decltype(remove) call;
    void* list;
    ~Deleted() { call(list); }
  } deleted{remove, list.data()};
  if (!update(list.data(), 0, ParentProcessAttribute, &parent, sizeof parent, nullptr, nullptr)) RaiseLastError();
  StartupInfoEx startup{StartupShowing(showState), list.data()};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.lpDesktop = g_interactiveDesktop;
  if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, flags | ExtendedStartupInfoPresent,
                      environment, currentDirectory.c_str(), &startup.StartupInfo, &info))
    RaiseLastError();
  return true;
}

union TokenUserBuffer {
  TOKEN_USER user;
  BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
};
// The user of a token.
bool ReadTokenUser(HANDLE token, TokenUserBuffer& buffer) {
  DWORD size = 0;
  return GetTokenInformation(token, TokenUser, &buffer, sizeof buffer, &size) != FALSE;
}
}  // namespace

HeldProcess ShellAsUser(Handle token, const std::wstring& program, const std::wstring& commandLine, int showState,
                        const std::wstring& currentDirectory) {
  UserEnvironment environment(AsHandle(token));
  STARTUPINFOW startup = StartupShowing(showState);
  startup.lpDesktop = g_interactiveDesktop;
  PROCESS_INFORMATION info{};
  std::wstring line = commandLine;
  if (!CreateProcessAsUserW(AsHandle(token), program.c_str(), line.data(), nullptr, nullptr, FALSE,
                            CREATE_DEFAULT_ERROR_MODE | CREATE_UNICODE_ENVIRONMENT, environment.get(),
                            currentDirectory.c_str(), &startup, &info))
    RaiseLastError();
  return Held(info);
}

HeldProcess ShellAsDesktopUser(const std::wstring& program, const std::wstring& commandLine, int showState,
                               const std::wstring& currentDirectory) {
  // The shell of a person another administrator elevated for opens only so.
  const DebugPrivilege debug;
  UniqueHandle shell = DesktopShellProcess();
  UniqueHandle token = PrimaryTokenOf(AsHandle(shell.get()));
  // LocalSystem holds the right that CreateProcessAsUserW needs.
  if (IsLocalSystem()) return ShellAsUser(token.get(), program, commandLine, showState, currentDirectory);
  UserEnvironment environment(AsHandle(token.get()));
  const DWORD flags = CREATE_DEFAULT_ERROR_MODE | CREATE_UNICODE_ENVIRONMENT;
  PROCESS_INFORMATION info{};
  std::wstring line = commandLine;
  if (StartAsChildOf(AsHandle(shell.get()), program, line, flags, environment.get(), currentDirectory, showState, info))
    return Held(info);
  // Where no parent can be given (before Vista): CreateProcessWithTokenW, where
  // it exists, through the Secondary Logon service.
  static const auto withToken =
      win32::LookUp<BOOL(WINAPI*)(HANDLE, DWORD, LPCWSTR, LPWSTR, DWORD, LPVOID, LPCWSTR, LPSTARTUPINFOW,
                                  LPPROCESS_INFORMATION)>(GetModuleHandleW(L"advapi32.dll"),
                                                          "CreateProcessWithTokenW");
  if (withToken == nullptr) throw Failure(ErrorProcNotFound, DescribeError(ErrorProcNotFound));
  STARTUPINFOW startup = StartupShowing(showState);
  startup.lpDesktop = g_interactiveDesktop;
  if (!withToken(AsHandle(token.get()), 0, program.c_str(), line.data(), flags, environment.get(),
                 currentDirectory.c_str(), &startup, &info))
    RaiseLastError();
  return Held(info);
}

bool IsLocalSystem() {
  TokenUserBuffer buffer{};
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  const UniqueHandle owner(reinterpret_cast<Handle>(token));
  if (!ReadTokenUser(token, buffer)) return false;
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID system = nullptr;
  if (!AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, &system)) return false;
  bool same = EqualSid(buffer.user.User.Sid, system) != FALSE;
  FreeSid(system);
  return same;
}

DebugPrivilege::DebugPrivilege() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return;
  UniqueHandle owner(reinterpret_cast<Handle>(token));
  TOKEN_PRIVILEGES privileges{1, {{{0, 0}, SE_PRIVILEGE_ENABLED}}};
  if (!LookupPrivilegeValueW(nullptr, L"SeDebugPrivilege", &privileges.Privileges[0].Luid)) return;
  // Succeeds without the privilege too, saying so only in the last error.
  // The previous state lists it only when it was off: only then is it put
  // back, so that LocalSystem, which has it on, keeps it on.
  TOKEN_PRIVILEGES previous{};
  DWORD length = sizeof previous;
  enabled_ = AdjustTokenPrivileges(token, FALSE, &privileges, sizeof previous, &previous, &length) &&
             GetLastError() == ERROR_SUCCESS && previous.PrivilegeCount == 1 &&
             (previous.Privileges[0].Attributes & SE_PRIVILEGE_ENABLED) == 0;
}

DebugPrivilege::~DebugPrivilege() {
  HANDLE token = nullptr;
  if (!enabled_ || !OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token)) return;
  UniqueHandle owner(reinterpret_cast<Handle>(token));
  TOKEN_PRIVILEGES privileges{1, {{{0, 0}, 0}}};
  if (LookupPrivilegeValueW(nullptr, L"SeDebugPrivilege", &privileges.Privileges[0].Luid))
    AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
}

std::uint32_t SessionOfProcess(std::uint32_t processId) {
  static const auto sessionOf = win32::LookUp<BOOL(WINAPI*)(DWORD, DWORD*)>(
      GetModuleHandleW(L"kernel32.dll"), "ProcessIdToSessionId");
  DWORD session = NoSession;
  return sessionOf != nullptr && sessionOf(processId, &session) ? session : NoSession;
}

std::uint32_t ThisSession() { return SessionOfProcess(GetCurrentProcessId()); }

UniqueHandle SessionUserToken(std::uint32_t session) {
  static const HMODULE wtsapi = win32::LoadSystemLibrary(L"wtsapi32.dll");  // kept for the process
  static const auto query = win32::LookUp<BOOL(WINAPI*)(ULONG, PHANDLE)>(wtsapi, "WTSQueryUserToken");
  if (query == nullptr) throw Failure(ErrorProcNotFound, DescribeError(ErrorProcNotFound));
  HANDLE token = nullptr;
  if (!query(session, &token)) RaiseLastError();
  return UniqueHandle(reinterpret_cast<Handle>(token));
}

std::wstring TokenUserName(Handle token) {
  TokenUserBuffer buffer{};
  wchar_t name[256], domain[256];
  DWORD nameLength = 256, domainLength = 256;
  SID_NAME_USE use;
  if (!ReadTokenUser(AsHandle(token), buffer) ||
      !LookupAccountSidW(nullptr, buffer.user.User.Sid, name, &nameLength, domain, &domainLength, &use))
    return {};
  return std::wstring(domain) + L"\\" + name;
}

}  // namespace platform
