// The real Windows: each operation is a thin wrapper over the system call of
// the same name.
#include "win32.h"

#include <ole2.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <cstring>

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
    if (WaitForSingleObject(AsHandle(process.handle.get()), left) != WAIT_OBJECT_0) all = false;
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
// The primary token of the process that owns the desktop shell, or null.
UniqueHandle DesktopUserToken() {
  HWND shell = GetShellWindow();
  if (shell == nullptr) shell = FindWindowW(L"Shell_TrayWnd", nullptr);
  DWORD owner = 0;
  if (shell == nullptr || GetWindowThreadProcessId(shell, &owner) == 0) return UniqueHandle();
  UniqueHandle process(reinterpret_cast<Handle>(::OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, owner)));
  HANDLE token = nullptr, primary = nullptr;
  if (process.get() == 0 ||
      !OpenProcessToken(AsHandle(process.get()), TOKEN_DUPLICATE | TOKEN_QUERY | TOKEN_ASSIGN_PRIMARY, &token))
    return UniqueHandle();
  UniqueHandle shellToken(reinterpret_cast<Handle>(token));
  if (!DuplicateTokenEx(token, TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY | TOKEN_ADJUST_DEFAULT |
                                   TOKEN_ADJUST_SESSIONID,
                        nullptr, SecurityImpersonation, TokenPrimary, &primary))
    return UniqueHandle();
  return UniqueHandle(reinterpret_cast<Handle>(primary));
}
}  // namespace

HeldProcess ShellAsDesktopUser(const std::wstring& program, const std::wstring& commandLine, int showState,
                               const std::wstring& currentDirectory) {
  UniqueHandle token = DesktopUserToken();
  if (token.get() == 0) throw Failure(ErrorNotFound, DescribeError(ErrorNotFound));
  STARTUPINFOW startup = StartupShowing(showState);
  wchar_t desktop[] = L"winsta0\\default";
  startup.lpDesktop = desktop;
  PROCESS_INFORMATION info{};
  std::wstring line = commandLine;
  // An administrator holds the right that CreateProcessWithTokenW needs
  // (Vista and later), LocalSystem the one CreateProcessAsUserW needs.
  static const auto withToken =
      win32::LookUp<BOOL(WINAPI*)(HANDLE, DWORD, LPCWSTR, LPWSTR, DWORD, LPVOID, LPCWSTR, LPSTARTUPINFOW,
                                  LPPROCESS_INFORMATION)>(GetModuleHandleW(L"advapi32.dll"),
                                                          "CreateProcessWithTokenW");
  BOOL started = withToken != nullptr
                     ? withToken(AsHandle(token.get()), 0, program.c_str(), line.data(), CREATE_DEFAULT_ERROR_MODE,
                                 nullptr, currentDirectory.c_str(), &startup, &info)
                     : CreateProcessAsUserW(AsHandle(token.get()), program.c_str(), line.data(), nullptr, nullptr,
                                            FALSE, CREATE_DEFAULT_ERROR_MODE, nullptr, currentDirectory.c_str(),
                                            &startup, &info);
  if (!started) RaiseLastError();
  return Held(info);
}

bool IsLocalSystem() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  UniqueHandle owner(reinterpret_cast<Handle>(token));
  union {
    TOKEN_USER user;
    BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  } buffer{};
  DWORD size = 0;
  if (!GetTokenInformation(token, TokenUser, &buffer, sizeof buffer, &size)) return false;
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
    if (WaitForSingleObject(AsHandle(process.handle.get()), wait) == WAIT_OBJECT_0) return 0;
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
  if (WaitForSingleObject(AsHandle(process.handle.get()), timeoutMs) == WAIT_OBJECT_0)
    GetExitCodeProcess(AsHandle(process.handle.get()), &code);
  return code;
}

void Kill(const std::wstring& path) {
  if (!DeleteFileW(path.c_str())) RaiseLastError();
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

bool IsFileInUse(const std::wstring& path) {
  // A library that a process has loaded can be opened for DELETE, but not
  // for writing: Windows refuses that while the image is mapped.
  return OpenError(path, DELETE) == ERROR_SHARING_VIOLATION ||
         OpenError(path, FILE_WRITE_DATA) == ERROR_SHARING_VIOLATION;
}

std::uint32_t GetFileAttributesW(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()); }

bool SetFileAttributesW(const std::wstring& path, std::uint32_t attributes) {
  return ::SetFileAttributesW(path.c_str(), attributes) != FALSE;
}

void MoveFileExDelayUntilReboot(const std::wstring& path) {
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
  std::wstring self(32768, L'\0');
  DWORD length = GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
  if (length == 0 || length >= self.size()) RaiseLastError();
  self.resize(length);
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
  if (!shellExecuteEx(&info)) RaiseLastError();
  if (info.hProcess == nullptr) throw Failure(ERROR_INVALID_HANDLE, DescribeError(ERROR_INVALID_HANDLE));
  return {UniqueHandle(reinterpret_cast<Handle>(info.hProcess)), 0};
}

bool AppendToFile(const std::wstring& path, const std::wstring& text) {
  // Opened for each piece and closed again: what was written is on disk
  // whatever happens next, and others may read the file meanwhile. A run as
  // SYSTEM may be pointed at a folder where anyone can plant a link to a file
  // only administrators may change: a link itself (a reparse point) is opened,
  // not followed, and it or a file with another name (a hard link) is left
  // unwritten.
  UniqueHandle file(reinterpret_cast<Handle>(
      CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr)));
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
  return SetFilePointer(AsHandle(file.get()), 0, nullptr, FILE_END) != INVALID_SET_FILE_POINTER &&
         WriteFile(AsHandle(file.get()), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                   nullptr) &&
         written == bytes.size();
}

DateTime LocalTime() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
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

void End(unsigned exitCode) { ExitProcess(exitCode); }

void ReportUnhandledFailure(const std::wstring& description, unsigned exitCode) {
  MessageBoxW(nullptr, description.c_str(), L"MSN Scribbit Removal",
              MB_OK | MB_ICONERROR | MB_SETFOREGROUND | MB_TOPMOST);
  ExitProcess(exitCode);
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
    bool exists = GetLastError() == ERROR_ALREADY_EXISTS;
    return Token{UniqueHandle(reinterpret_cast<Handle>(mutex)), mutex != nullptr && exists};
  }();
  return token.another;
}

}  // namespace platform
