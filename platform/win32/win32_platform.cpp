// The real Windows: each operation is a thin wrapper over the system call of
// the same name.
#include "win32.h"

#include <ole2.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <cstring>
#include <vector>

#include "platform/platform.h"

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(PROCESSENTRY32) == 296, "narrow PROCESSENTRY32 on 32-bit Windows");
static_assert(sizeof(OSVERSIONINFOA) == 148, "OSVERSIONINFOA on 32-bit Windows");
#endif
static_assert(sizeof(platform::ProcessEntry) == sizeof(PROCESSENTRY32));
static_assert(offsetof(platform::ProcessEntry, szExeFile) == offsetof(PROCESSENTRY32, szExeFile));
static_assert(sizeof(platform::VersionRecord) == sizeof(OSVERSIONINFOA));

namespace platform {

namespace win32 {
bool g_taskHidden = false;
bool g_failing = false;

void ExitNow(unsigned exitCode) {
  if (g_failing) ::TerminateProcess(GetCurrentProcess(), exitCode);
  ExitProcess(exitCode);
}

HMODULE LoadSystemLibrary(const wchar_t* name) {
  wchar_t path[MAX_PATH];
  UINT length = GetSystemDirectoryW(path, MAX_PATH);
  if (length == 0 || length + 1 + lstrlenW(name) >= MAX_PATH) return nullptr;
  path[length] = L'\\';
  lstrcpyW(path + length + 1, name);
  return LoadLibraryW(path);
}
}  // namespace win32

namespace {

HWND Hwnd(WindowHandle window) { return reinterpret_cast<HWND>(window); }
HANDLE AsHandle(Handle handle) { return reinterpret_cast<HANDLE>(handle); }

[[noreturn]] void RaiseLastError() {
  DWORD code = GetLastError();
  throw Failure(code, DescribeError(code));
}

// Right after CreateMutexW: true when another process made the mutex first,
// or made it so that this one may not open it (it runs with raised rights).
bool HeldElsewhere(HANDLE mutex) {
  const DWORD error = GetLastError();
  return mutex != nullptr ? error == ERROR_ALREADY_EXISTS : error == ERROR_ACCESS_DENIED;
}

// WaitForSingleObject that keeps handling the messages sent to this thread's
// windows: another program's SendMessage to all windows returns at once. Posted
// messages and input stay queued, so no press or key is acted on meanwhile.
DWORD WaitAnswering(HANDLE object, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    const DWORD elapsed = GetTickCount() - start;
    const DWORD left = timeoutMs == INFINITE ? INFINITE : elapsed < timeoutMs ? timeoutMs - elapsed : 0;
    const DWORD result = MsgWaitForMultipleObjects(1, &object, FALSE, left, QS_SENDMESSAGE);
    if (result != WAIT_OBJECT_0 + 1) return result;
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

// Copies between the portable record and the system's, field by field.
void ToSystem(const ProcessEntry& in, PROCESSENTRY32& out) {
  std::memset(&out, 0, sizeof out);
  out.dwSize = in.dwSize;
}
void FromSystem(const PROCESSENTRY32& in, ProcessEntry& out) {
  out.dwSize = in.dwSize;
  out.cntUsage = in.cntUsage;
  out.th32ProcessID = in.th32ProcessID;
  out.th32DefaultHeapID = in.th32DefaultHeapID;
  out.th32ModuleID = in.th32ModuleID;
  out.cntThreads = in.cntThreads;
  out.th32ParentProcessID = in.th32ParentProcessID;
  out.pcPriClassBase = in.pcPriClassBase;
  out.dwFlags = in.dwFlags;
  std::memcpy(out.szExeFile, in.szExeFile, sizeof out.szExeFile);
}

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

class Bstr {
 public:
  explicit Bstr(const std::wstring& text)
      : bstr_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  ~Bstr() { SysFreeString(bstr_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR get() const { return bstr_; }

 private:
  BSTR bstr_;
};

class ComApartment {
 public:
  ComApartment() : result_(CoInitialize(nullptr)) {}
  ~ComApartment() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }

 private:
  HRESULT result_;
};

Variant FromVariant(const VARIANT& value) {
  Variant out;
  VARTYPE type = V_VT(&value);
  if (type & VT_ARRAY) {
    out.type = Variant::Type::Array;
    return out;
  }
  switch (type) {
    case VT_EMPTY: out.type = Variant::Type::Empty; break;
    case VT_BSTR:
      out.type = Variant::Type::Text;
      if (V_BSTR(&value) != nullptr) out.text.assign(V_BSTR(&value), SysStringLen(V_BSTR(&value)));
      break;
    case VT_I1: out.type = Variant::Type::Integer; out.integer = V_I1(&value); break;
    case VT_I2: out.type = Variant::Type::Integer; out.integer = V_I2(&value); break;
    case VT_I4: out.type = Variant::Type::Integer; out.integer = V_I4(&value); break;
    case VT_INT: out.type = Variant::Type::Integer; out.integer = V_INT(&value); break;
    case VT_I8: out.type = Variant::Type::Integer; out.integer = V_I8(&value); break;
    case VT_UI1: out.type = Variant::Type::Integer; out.integer = V_UI1(&value); break;
    case VT_UI2: out.type = Variant::Type::Integer; out.integer = V_UI2(&value); break;
    case VT_UI4: out.type = Variant::Type::Integer; out.integer = V_UI4(&value); break;
    case VT_UINT: out.type = Variant::Type::Integer; out.integer = V_UINT(&value); break;
    case VT_UI8:
      out.type = Variant::Type::Integer;
      out.integer = static_cast<long long>(V_UI8(&value));
      break;
    case VT_R4: out.type = Variant::Type::Real; out.real = V_R4(&value); break;
    case VT_R8: out.type = Variant::Type::Real; out.real = V_R8(&value); break;
    case VT_BOOL: out.type = Variant::Type::Boolean; out.integer = V_BOOL(&value) ? -1 : 0; break;
    default: out.type = Variant::Type::Other; break;
  }
  return out;
}

}  // namespace

Failure::Failure(unsigned long code, std::wstring description)
    : code_(code), description_(std::move(description)), narrow_(WideToNarrow(description_)) {}

std::wstring DescribeError(unsigned long code) {
  wchar_t* buffer = nullptr;
  DWORD length = FormatMessageW(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text = length != 0 ? std::wstring(buffer, length) : std::wstring();
  if (buffer != nullptr) LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' '))
    text.pop_back();
  if (text.empty()) {
    wchar_t number[16];
    _ultow(code, number, 10);
    text = L"Error " + std::wstring(number) + L".";
  }
  return text;
}

std::wstring NarrowToWide(const char* text, std::size_t length) {
  if (length == 0) return {};
  int size = MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), out.data(), size);
  return out;
}

std::string WideToNarrow(const std::wstring& text) {
  if (text.empty()) return {};
  int size = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                 nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                      nullptr, nullptr);
  return out;
}

std::wstring LowerCase(const std::wstring& text) {
  std::wstring out = text;
  if (!out.empty()) CharLowerBuffW(out.data(), static_cast<DWORD>(out.size()));
  return out;
}

// ---------------------------------------------------------------- registry
AutomationObject::AutomationObject(const std::wstring& progId) {
  static ComApartment apartment;  // the user-interface thread's, for the process
  CLSID clsid;
  HRESULT hr = CLSIDFromProgID(progId.c_str(), &clsid);
  IDispatch* object = nullptr;
  if (SUCCEEDED(hr))
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                          reinterpret_cast<void**>(&object));
  if (FAILED(hr)) throw Failure(static_cast<unsigned long>(hr), DescribeError(static_cast<unsigned long>(hr)));
  object_ = object;
}

AutomationObject::~AutomationObject() {
  if (object_ != nullptr) static_cast<IDispatch*>(object_)->Release();
}

Variant AutomationObject::Call(const std::wstring& method, const std::wstring& argument) {
  auto* object = static_cast<IDispatch*>(object_);
  std::wstring name = method;
  LPOLESTR names[] = {name.data()};
  DISPID id = 0;
  HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) throw Failure(static_cast<unsigned long>(hr), DescribeError(static_cast<unsigned long>(hr)));

  Bstr text(argument);
  VARIANT arg;
  VariantInit(&arg);
  V_VT(&arg) = VT_BSTR;
  V_BSTR(&arg) = text.get();
  DISPPARAMS params{&arg, nullptr, 1, 0};
  VARIANT result;
  VariantInit(&result);
  EXCEPINFO error{};
  hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, &error,
                      nullptr);
  std::wstring description = error.bstrDescription != nullptr ? error.bstrDescription : L"";
  SysFreeString(error.bstrDescription);
  SysFreeString(error.bstrSource);
  SysFreeString(error.bstrHelpFile);
  if (FAILED(hr)) {
    VariantClear(&result);
    unsigned long code = hr == DISP_E_EXCEPTION && error.scode != 0 ? static_cast<unsigned long>(error.scode)
                                                                    : static_cast<unsigned long>(hr);
    throw Failure(code, description.empty() ? DescribeError(code) : description);
  }
  Variant out = FromVariant(result);
  VariantClear(&result);
  return out;
}

// ---------------------------------------------------------------- version
int GetVersionExA(VersionRecord& record) {
  OSVERSIONINFOA info;
  std::memcpy(&info, &record, sizeof info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  BOOL result = ::GetVersionExA(&info);
#pragma GCC diagnostic pop
  std::memcpy(&record, &info, sizeof info);
  return result;
}

// ---------------------------------------------------------------- windows
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

// ---------------------------------------------------------------- processes
Handle CreateToolhelp32Snapshot(std::uint32_t flags, std::uint32_t processId) {
  return reinterpret_cast<Handle>(::CreateToolhelp32Snapshot(flags, processId));
}

int Process32First(Handle snapshot, ProcessEntry& entry) {
  PROCESSENTRY32 system;
  ToSystem(entry, system);
  BOOL result = ::Process32First(AsHandle(snapshot), &system);
  if (result) FromSystem(system, entry);
  return result;
}

int Process32Next(Handle snapshot, ProcessEntry& entry) {
  PROCESSENTRY32 system;
  ToSystem(entry, system);
  BOOL result = ::Process32Next(AsHandle(snapshot), &system);
  if (result) FromSystem(system, entry);
  return result;
}

Handle OpenProcess(std::uint32_t access, bool inherit, std::uint32_t processId) {
  return reinterpret_cast<Handle>(::OpenProcess(access, inherit, processId));
}

int TerminateProcess(Handle process, std::uint32_t exitCode) {
  return ::TerminateProcess(AsHandle(process), exitCode);
}

int CloseHandle(Handle handle) { return ::CloseHandle(AsHandle(handle)); }

bool WaitForProcessesToExit(const std::vector<HeldProcess>& processes, unsigned timeoutMs) {
  DWORD start = GetTickCount();
  bool all = true;
  for (const HeldProcess& process : processes) {
    DWORD elapsed = GetTickCount() - start;
    DWORD left = elapsed < timeoutMs ? timeoutMs - elapsed : 0;
    if (WaitAnswering(AsHandle(process.handle.get()), left) != WAIT_OBJECT_0) all = false;
  }
  return all;
}

// ---------------------------------------------------------------- run time
std::uint32_t TickCount() { return GetTickCount(); }

namespace {
STARTUPINFOW StartupShowing(int showState) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = static_cast<WORD>(showState);
  return startup;
}

HeldProcess Held(const PROCESS_INFORMATION& info) {
  ::CloseHandle(info.hThread);
  return {UniqueHandle(reinterpret_cast<Handle>(info.hProcess)), info.dwProcessId};
}
}  // namespace

HeldProcess Shell(const std::wstring& program, const std::wstring& commandLine, int showState,
                  const std::wstring& currentDirectory) {
  STARTUPINFOW startup = StartupShowing(showState);
  PROCESS_INFORMATION info{};
  std::wstring line = commandLine;  // CreateProcessW may write to it
  // Started with the system's own error mode, not the one this program set
  // for itself.
  if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_DEFAULT_ERROR_MODE,
                      nullptr, currentDirectory.c_str(), &startup, &info))
    RaiseLastError();
  return Held(info);
}

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
// destroyed when it goes out of scope; null where it cannot be made.
class UserEnvironment {
 public:
  explicit UserEnvironment(HANDLE token) {
    using Create = BOOL(WINAPI*)(LPVOID*, HANDLE, BOOL);
    if (auto create = win32::LookUp<Create>(Userenv(), "CreateEnvironmentBlock"); create != nullptr)
      if (!create(&block_, token, FALSE)) block_ = nullptr;
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

namespace {
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

namespace {
// The foreground window when it belongs to the process, is shown, and a
// window of the process has the keyboard focus (a key with no focus goes to
// the active window as a system key, which a dialog ignores); else null.
HWND FocusedForegroundOf(DWORD processId, HWND* focus = nullptr) {
  GUITHREADINFO gui{};
  gui.cbSize = sizeof gui;
  if (focus != nullptr) *focus = nullptr;
  if (!GetGUIThreadInfo(0, &gui) || gui.hwndFocus == nullptr || gui.hwndActive != GetForegroundWindow() ||
      !IsWindowVisible(gui.hwndActive))
    return nullptr;
  DWORD focusOwner = 0, activeOwner = 0;
  GetWindowThreadProcessId(gui.hwndFocus, &focusOwner);
  GetWindowThreadProcessId(gui.hwndActive, &activeOwner);
  if (focusOwner != processId || activeOwner != processId) return nullptr;
  if (focus != nullptr) *focus = gui.hwndFocus;
  return gui.hwndActive;
}
}  // namespace

WindowHandle WaitForFocusInProcess(const HeldProcess& process, unsigned timeoutMs, WindowHandle prompt) {
  // While a window comes to the front, Wine 10 passes the foreground to other
  // windows and back (the desktop's, the one in front before); a key sent
  // meanwhile is lost or lands there. So the prompt counts once it has held
  // the focus for a while and its thread answers messages.
  constexpr DWORD SettleMs = 200, PollMs = 20;
  const DWORD start = GetTickCount();
  HWND seen = nullptr, seenFocus = nullptr, focus = nullptr;
  DWORD since = start;
  for (;;) {
    HWND now = FocusedForegroundOf(process.id, &focus);
    if (prompt != 0 && now != Hwnd(prompt)) now = nullptr;
    if (now != seen || focus != seenFocus) since = GetTickCount();
    seen = now;
    seenFocus = focus;
    DWORD_PTR ignored = 0;
    if (now != nullptr && GetTickCount() - since >= SettleMs &&
        SendMessageTimeoutA(now, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, SettleMs, &ignored) != 0 &&
        FocusedForegroundOf(process.id) == now)
      return reinterpret_cast<WindowHandle>(now);
    if (prompt != 0 && !IsWindow(Hwnd(prompt))) return 0;
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= timeoutMs) return 0;
    // Stop early when the process has already ended.
    const DWORD wait = timeoutMs - elapsed < PollMs ? timeoutMs - elapsed : PollMs;
    if (WaitAnswering(AsHandle(process.handle.get()), wait) == WAIT_OBJECT_0) return 0;
  }
}

void SendEnterKey() {
  INPUT keys[2]{};
  keys[0].type = INPUT_KEYBOARD;
  keys[0].ki.wVk = VK_RETURN;
  keys[1] = keys[0];
  keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(2, keys, sizeof(INPUT));
}

unsigned long WaitForExitCode(const HeldProcess& process, unsigned timeoutMs) {
  DWORD code = StillActive;
  if (WaitAnswering(AsHandle(process.handle.get()), timeoutMs) == WAIT_OBJECT_0)
    GetExitCodeProcess(AsHandle(process.handle.get()), &code);
  return code;
}

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

namespace {
unsigned long OpenError(const std::wstring& path, DWORD access) {
  HANDLE file = CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return GetLastError();
  ::CloseHandle(file);
  return 0;
}
}  // namespace

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

namespace {
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
}  // namespace

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

namespace {
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
  return SendMessageTimeoutW(receiver, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG, 5000,
                             &result) != 0 &&
         result == TRUE;
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
}  // namespace

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

namespace {
std::wstring ObjectName(HANDLE object) {
  wchar_t name[256] = {};
  DWORD needed = 0;
  if (object == nullptr || !GetUserObjectInformationW(object, UOI_NAME, name, sizeof name - sizeof name[0], &needed))
    return {};
  return name;
}
}  // namespace

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

void MsgBox(const std::wstring& text, int style, const std::wstring& title) {
  MessageBoxW(nullptr, text.c_str(), title.c_str(), static_cast<UINT>(style) | MB_SETFOREGROUND);
}

void End(unsigned exitCode) { win32::ExitNow(exitCode); }

void ReportUnhandledFailure(const std::wstring& description, unsigned exitCode) {
  MessageBoxW(nullptr, description.c_str(), L"MSN Scribbit Removal",
              MB_OK | MB_ICONERROR | MB_SETFOREGROUND | MB_TOPMOST);
  win32::ExitNow(exitCode);
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

DebugPrivilege::DebugPrivilege() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return;
  UniqueHandle owner(reinterpret_cast<Handle>(token));
  TOKEN_PRIVILEGES privileges{1, {{{0, 0}, SE_PRIVILEGE_ENABLED}}};
  if (!LookupPrivilegeValueW(nullptr, L"SeDebugPrivilege", &privileges.Privileges[0].Luid)) return;
  // Succeeds without the privilege too, saying so only in the last error.
  enabled_ = AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) &&
             GetLastError() == ERROR_SUCCESS;
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

std::wstring ProgramFile() {
  std::wstring self(32768, L'\0');
  DWORD length = GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
  if (length == 0 || length >= self.size()) RaiseLastError();
  self.resize(length);
  return self;
}

}  // namespace platform
