// The seam between the program and the operating system.
//
// forms/ and modules/ call only what is declared here. Two implementations
// exist: platform/win32 (the real Windows API) and platform/sim (an in-memory
// Windows for host unit tests). Names follow the Windows calls they stand for,
// so that a reader can find each call by the name the system gives it.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <utility>
#include <vector>

namespace platform {

using WindowHandle = std::uintptr_t;  // an HWND
using Handle = std::uintptr_t;        // a kernel object handle
using Color = std::uint32_t;          // &HBBGGRR

inline constexpr Handle InvalidHandleValue = static_cast<Handle>(-1);

// A failure raised by an operation: its system error number and its
// description, as the system words it.
class Failure : public std::exception {
 public:
  Failure(unsigned long code, std::wstring description);
  unsigned long code() const noexcept { return code_; }
  const std::wstring& description() const noexcept { return description_; }
  const char* what() const noexcept override { return narrow_.c_str(); }

 private:
  unsigned long code_;
  std::wstring description_;
  std::string narrow_;
};

// System error numbers the program tells apart.
inline constexpr unsigned long ErrorFileNotFound = 2;
inline constexpr unsigned long ErrorPathNotFound = 3;
inline constexpr unsigned long ErrorAccessDenied = 5;
inline constexpr unsigned long ErrorSharingViolation = 32;
inline constexpr unsigned long ErrorInvalidName = 123;
inline constexpr unsigned long ErrorNotFound = 1168;
inline constexpr unsigned long ErrorNoToken = 1008;  // no user signed in to a session
inline constexpr unsigned long ErrorProcNotFound = 127;
inline constexpr unsigned long ErrorWaitTimeout = 258;
inline constexpr unsigned long ErrorCancelled = 1223;
// A path that Windows resolves elsewhere: a folder on the way is a junction
// or a link (ERROR_CANT_RESOLVE_FILENAME).
inline constexpr unsigned long ErrorRedirected = 1921;

// The description of a system error number (FormatMessage on Windows).
std::wstring DescribeError(unsigned long code);

// Text conversion through the system's narrow code page, and lower case.
std::wstring NarrowToWide(const char* text, std::size_t length);
std::string WideToNarrow(const std::wstring& text);
std::wstring LowerCase(const std::wstring& text);

// ---------------------------------------------------------------- registry
// A value returned by an automation call, reduced to what the program reads.
struct Variant {
  enum class Type { Empty, Text, Integer, Real, Boolean, Array, Other };
  Type type = Type::Empty;
  std::wstring text;     // Type::Text
  long long integer = 0; // Type::Integer, Type::Boolean (0 or -1)
  double real = 0;       // Type::Real
};

// An automation object created from its programmatic identifier, released when
// it goes out of scope. Both operations raise Failure.
class AutomationObject {
 public:
  explicit AutomationObject(const std::wstring& progId);
  ~AutomationObject();
  AutomationObject(const AutomationObject&) = delete;
  AutomationObject& operator=(const AutomationObject&) = delete;

  // Calls a method by name, resolved at run time, with one text argument.
  Variant Call(const std::wstring& method, const std::wstring& argument);

 private:
  void* object_ = nullptr;
};

// ---------------------------------------------------------------- version
// OSVERSIONINFOA, narrow form.
struct VersionRecord {
  std::uint32_t dwOSVersionInfoSize;
  std::uint32_t dwMajorVersion;
  std::uint32_t dwMinorVersion;
  std::uint32_t dwBuildNumber;
  std::uint32_t dwPlatformId;
  char szCSDVersion[128];
};
static_assert(sizeof(VersionRecord) == 148, "OSVERSIONINFOA is 148 bytes");

int GetVersionExA(VersionRecord& record);

// ---------------------------------------------------------------- windows
long GetWindowLongA(WindowHandle window, int index);
long SetWindowLongA(WindowHandle window, int index, long value);
int SetWindowPos(WindowHandle window, WindowHandle insertAfter, int x, int y, int cx, int cy,
                 unsigned flags);
// Raises Failure(ErrorProcNotFound) where the system has no layered windows.
int SetLayeredWindowAttributes(WindowHandle window, Color key, std::uint8_t alpha,
                               std::uint32_t flags);
int ReleaseCapture();
std::intptr_t SendMessageA(WindowHandle window, unsigned message, std::uintptr_t wParam,
                           std::intptr_t lParam);
// The left button's state as of the input message being handled.
bool IsLeftButtonDown();

WindowHandle FindWindowExA(WindowHandle after, const std::wstring& className);
bool IsWindow(WindowHandle window);
// SendMessageTimeoutA with SMTO_ABORTIFHUNG: false when the window did not
// answer in time or its thread is hung.
bool SendMessageTimeoutA(WindowHandle window, unsigned message, std::uintptr_t wParam,
                         std::intptr_t lParam, unsigned timeoutMs);
unsigned RegisterWindowMessageA(const std::wstring& name);
int PostMessageA(WindowHandle window, unsigned message, std::uintptr_t wParam,
                 std::intptr_t lParam);

// ---------------------------------------------------------------- processes
// PROCESSENTRY32, narrow form; 296 bytes on 32-bit Windows, more on 64-bit.
struct ProcessEntry {
  std::uint32_t dwSize;
  std::uint32_t cntUsage;
  std::uint32_t th32ProcessID;
  std::uintptr_t th32DefaultHeapID;
  std::uint32_t th32ModuleID;
  std::uint32_t cntThreads;
  std::uint32_t th32ParentProcessID;
  std::int32_t pcPriClassBase;
  std::uint32_t dwFlags;
  char szExeFile[260];
};

Handle CreateToolhelp32Snapshot(std::uint32_t flags, std::uint32_t processId);
int Process32First(Handle snapshot, ProcessEntry& entry);
int Process32Next(Handle snapshot, ProcessEntry& entry);
Handle OpenProcess(std::uint32_t access, bool inherit, std::uint32_t processId);
int TerminateProcess(Handle process, std::uint32_t exitCode);
int CloseHandle(Handle handle);

struct HeldProcess;
// Waits until each of the processes has exited or the time is up. True when
// all have exited.
bool WaitForProcessesToExit(const std::vector<HeldProcess>& processes, unsigned timeoutMs);

// ---------------------------------------------------------------- run time
// Milliseconds since the system started (wraps after 49 days).
std::uint32_t TickCount();
struct HeldProcess;
// Starts exactly `program` with `commandLine` as its command line, in
// `currentDirectory`, and returns at once, holding the new process's handle.
// Raises Failure when it cannot be started.
HeldProcess Shell(const std::wstring& program, const std::wstring& commandLine, int showState,
                  const std::wstring& currentDirectory);
// The same, with the rights of the person signed in to this desktop: the
// token of the process that owns the desktop shell's window (GetShellWindow,
// else the taskbar, Shell_TrayWnd), and that user's environment. LocalSystem
// starts it with that token; an administrator makes the shell its parent
// (Vista on), which needs no Secondary Logon service, else asks that service.
// Raises Failure(ErrorNotFound) when there is no such process, else Failure
// with the system's own error.
HeldProcess ShellAsDesktopUser(const std::wstring& program, const std::wstring& commandLine,
                               int showState, const std::wstring& currentDirectory);
// True when this process runs as LocalSystem.
bool IsLocalSystem();
std::wstring SystemDirectory();
// The registry key under which 32-bit programs' HKLM\Software values are
// seen by this program: Wow6432Node on 64-bit Windows for a 64-bit program.
// Ends with a backslash.
std::wstring SoftwareKeyOf32BitPrograms();
// Waits until a prompt of the process is ready for keys: the foreground window
// is a shown window of the process, a window of the process has the keyboard
// focus, both have held for a moment and the process answers messages.
// Returns that foreground window, or 0 when the process has ended or the time
// is up. With `prompt` given, only that window counts, and 0 comes at once
// when it is gone.
WindowHandle WaitForFocusInProcess(const HeldProcess& process, unsigned timeoutMs, WindowHandle prompt = 0);
// One press and release of Enter, to the window with the focus; returns once
// it has been processed.
void SendEnterKey();
// Waits until the process has ended or the time is up; its exit code, or
// StillActive when it is still running. This and the other waits of the
// window thread keep handling the messages other programs send to its
// windows (a setting change sent to all windows), and only those.
inline constexpr unsigned long StillActive = 259;
unsigned long WaitForExitCode(const HeldProcess& process, unsigned timeoutMs);
// Deletes a file. Raises Failure when it is not there or cannot be deleted.
// Where the system can tell (Vista on), the file is opened without following
// a reparse point, deleted through that handle, and refused with
// ErrorRedirected when Windows resolves that handle to another path
// (IsSamePath): a program with raised rights must not be led to another file.
void Kill(const std::wstring& path);
// True when a file (not a folder) is there.
bool FileExists(const std::wstring& path);
// Whether another program holds the file: ErrorSharingViolation when one
// holds it open without letting it be deleted (CreateFileW for DELETE access,
// sharing everything, fails so) or has loaded it (an open for writing fails
// so); ErrorAccessDenied when either open is refused for access, so that it
// cannot be told; else 0.
unsigned long FileInUse(const std::wstring& path);
// The ids of the processes that have the file loaded as a module, of those
// this program may look into (their module lists).
std::vector<std::uint32_t> ProcessesWithModule(const std::wstring& path);
// CreateFileW for DELETE access, sharing everything, closed at once: 0 when
// granted, else the system error (ErrorAccessDenied: this token may not
// delete the file).
unsigned long OpenForDelete(const std::wstring& path);
inline constexpr std::uint32_t FileAttributeReadOnly = 0x1;
inline constexpr std::uint32_t InvalidFileAttributes = 0xFFFFFFFF;
std::uint32_t GetFileAttributesW(const std::wstring& path);
// Refused as Kill is, where the path is redirected.
bool SetFileAttributesW(const std::wstring& path, std::uint32_t attributes);
// MoveFileExW(path, NULL, MOVEFILE_DELAY_UNTIL_REBOOT): the file is deleted
// when Windows next starts. Needs administrator rights; raises Failure, and
// ErrorRedirected as Kill does.
void MoveFileExDelayUntilReboot(const std::wstring& path);

// GetTokenInformation(TokenElevation) for this process's own token
// (OpenProcessToken). False when the system has no such information class
// (Windows 2000 and XP) or the call fails; else true, with `elevated` set.
bool GetTokenElevation(bool& elevated);
// Starts this program's own file with raised rights (ShellExecuteExW, verb
// "runas") with `parameters`, in the system folder, and returns at once,
// holding the copy. Raises Failure(ErrorCancelled) when the person declines
// the prompt.
HeldProcess ShellExecuteExRunAs(const std::wstring& parameters);
// Appends text to a file as UTF-8, creating the file if needed. False when it
// cannot be written, or is a link (a reparse point, or a file with more than
// one name), which is left as it is, or is reached through a redirected folder
// (as Kill tells); never raises.
bool AppendToFile(const std::wstring& path, const std::wstring& text);
// While it exists (and `received` is not null), the lines that a copy of this
// program started with raised rights sends with SendLineToParent reach
// `received`, on this thread, while it waits for the copy. The copy writes no
// file itself.
class LineReceiver {
 public:
  explicit LineReceiver(void (*received)(const std::wstring& line));
  ~LineReceiver();
  LineReceiver(LineReceiver&& other) noexcept : window_(other.window_) { other.window_ = 0; }
  LineReceiver(const LineReceiver&) = delete;
  LineReceiver& operator=(const LineReceiver&) = delete;

 private:
  WindowHandle window_ = 0;
};
// In a copy started with raised rights: hands a line to the receiver of the
// process that started it. False when there is none.
bool SendLineToParent(const std::wstring& line);
struct DateTime {
  int year, month, day, hour, minute, second;
  int utcOffsetMinutes = 0;  // local time minus UTC
};
DateTime LocalTime();

// ---------------------------------------------------------------- event log
inline constexpr std::uint16_t EventError = 1;
inline constexpr std::uint16_t EventWarning = 2;
inline constexpr std::uint16_t EventInformation = 4;
// The EventMessageFile value of an Application event source: empty when the
// source is not registered.
std::wstring EventSourceMessageFile(const std::wstring& source);
// Creates or updates the source's key under the Application log with
// EventMessageFile (REG_EXPAND_SZ) and TypesSupported: 0, or the system error
// (ErrorAccessDenied without administrator rights).
unsigned long RegisterEventSourceKey(const std::wstring& source, const std::wstring& messageFile,
                                     std::uint32_t typesSupported);
// RegisterEventSourceW, ReportEventW with `text` as its one string,
// DeregisterEventSource: 0, or the system error.
unsigned long ReportEventW(const std::wstring& source, std::uint16_t type, std::uint32_t id,
                           const std::wstring& text);
// The value PendingFileRenameOperations, as the system stores it: pairs of a
// source ("\??\C:\...") and a target, empty for a deletion. Empty when
// nothing waits for the restart.
std::vector<std::wstring> PendingFileRenameOperations();
// What the log's header names: the computer, the account (DOMAIN\user)
// and this process's session (-1 unknown).
struct SystemFacts {
  std::wstring computer, account;
  long session = -1;
};
SystemFacts DescribeSystem();
// The program's arguments, split by the system's rules, without its name.
std::vector<std::wstring> CommandLineArguments();
// False when the program runs where no user sits: in a service's window
// station, on a desktop other than the user's, or in session 0 of a Windows
// that isolates it (Vista and later).
bool HasUserDesktop();
// Modal message box with no owner; returns when dismissed.
void MsgBox(const std::wstring& text, int style, const std::wstring& title);
// Ends the program at once.
[[noreturn]] void End(unsigned exitCode = 0);
// Shows a failure that nothing trapped, then ends the program.
[[noreturn]] void ReportUnhandledFailure(const std::wstring& description, unsigned exitCode = 1);

// Takes the program's windows out of the taskbar and the task list.
void RemoveFromTaskList();
// Restores the running copy's window and brings it to the front, where the
// person who started this copy is looking for it.
void BringBackRunningCopy();

// ---------------------------------------------------------------- the machine
// True while another installation holds Windows Installer (its machine-wide
// Global\_MSIExecute mutex exists).
bool IsInstallerBusy();
// While the object lives, SeDebugPrivilege is enabled in this process's
// token, when the token holds it: ending another user's process needs it.
// Afterwards it is as it was found (LocalSystem may have it on already).
class DebugPrivilege {
 public:
  DebugPrivilege();
  ~DebugPrivilege();
  DebugPrivilege(const DebugPrivilege&) = delete;
  DebugPrivilege& operator=(const DebugPrivilege&) = delete;

 private:
  bool enabled_ = false;
};

// ---------------------------------------------------------------- sessions
class UniqueHandle;
inline constexpr std::uint32_t NoSession = 0xFFFFFFFF;
// ProcessIdToSessionId, looked up at run time: NoSession where the system
// lacks it (Windows 2000 without Terminal Services) or it fails.
std::uint32_t SessionOfProcess(std::uint32_t processId);
// The session this process runs in, likewise.
std::uint32_t ThisSession();
// The signed-in user's primary token of a session (WTSQueryUserToken, which
// only LocalSystem may call; looked up at run time, as Windows 2000 lacks
// it). Raises Failure with the system's error, ErrorProcNotFound where the
// call is missing.
UniqueHandle SessionUserToken(std::uint32_t session);
// The token's user as DOMAIN\name, or the empty text.
std::wstring TokenUserName(Handle token);
// Starts `program` with `token` on that user's interactive desktop
// (winsta0\default), with the user's own environment (CreateEnvironmentBlock),
// and returns at once, holding it. Raises Failure, also when the user's
// environment cannot be made: the program must not get this one's.
HeldProcess ShellAsUser(Handle token, const std::wstring& program, const std::wstring& commandLine,
                        int showState, const std::wstring& currentDirectory);
// This program's own file.
std::wstring ProgramFile();
// Whether the path Windows resolves for an open file (GetFinalPathNameByHandleW,
// with its "\\?\" or "\\?\UNC\" prefix) is the full path it was opened by,
// letter case aside: else a folder on the way was redirected.
inline bool IsSamePath(const std::wstring& given, const std::wstring& resolved) {
  std::wstring plain = resolved;
  if (plain.rfind(L"\\\\?\\UNC\\", 0) == 0) plain = L"\\\\" + plain.substr(8);
  else if (plain.rfind(L"\\\\?\\", 0) == 0) plain = plain.substr(4);
  std::wstring full = given;  // a folder's trailing backslash aside, but not a root's
  for (std::wstring* text : {&plain, &full})
    if (text->size() > 3 && text->back() == L'\\') text->pop_back();
  return LowerCase(plain) == LowerCase(full);
}

// Runs `event`; a failure escaping it is shown with ReportUnhandledFailure.
// Every event of every window passes through here.
// A failure's description: the system's words for a Failure, else its what().
inline std::wstring DescriptionOf(const std::exception& failure) {
  if (auto* known = dynamic_cast<const Failure*>(&failure)) return known->description();
  std::string what = failure.what();
  return std::wstring(what.begin(), what.end());
}

template <class F>
void RunEvent(F&& event) {
  try {
    event();
  } catch (const std::exception& failure) {
    ReportUnhandledFailure(DescriptionOf(failure));
  }
}

// A kernel handle closed when it goes out of scope.
class UniqueHandle {
 public:
  UniqueHandle() : handle_(0) {}
  explicit UniqueHandle(Handle handle) : handle_(handle) {}
  ~UniqueHandle() {
    if (handle_ != 0 && handle_ != InvalidHandleValue) CloseHandle(handle_);
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.handle_) { other.handle_ = 0; }
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    std::swap(handle_, other.handle_);
    return *this;
  }
  Handle get() const { return handle_; }

 private:
  Handle handle_;
};

// ---------------------------------------------------------------- named objects
// Who owns a kernel object, as its security descriptor says.
enum class ObjectOwner { Unknown, LocalSystem, Administrators, Other };
struct NamedMutex {
  UniqueHandle handle;  // the object lives while some process holds a handle
  bool existed = false;  // the name was there before this call
  ObjectOwner owner = ObjectOwner::Unknown;
  std::wstring ownerName;  // DOMAIN\name, or the SID as text; empty when unknown
};
// CreateMutexW with the name as given: Windows resolves "Local\", "Global\"
// or no prefix by this process's session. Everyone may wait on the object and
// read its owner; only the owner, LocalSystem and the Administrators may do
// more. A name this process may not even read counts as existing, owner
// unknown.
NamedMutex CreateNamedMutex(const std::wstring& name);

// A process the program started or ended, by its handle and id. Holding the
// handle keeps the id from being given to another process.
struct HeldProcess {
  UniqueHandle handle;
  std::uint32_t id = 0;
};

}  // namespace platform
