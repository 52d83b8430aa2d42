// The simulated operating system: every operation acts on sim::World and is
// written to its call log.
#include <algorithm>
#include <cwchar>
#include <cwctype>

#include "modules/StartUp.h"
#include "platform/form_backend.h"
#include "platform/platform.h"
#include "sim.h"

namespace sim {

namespace {
World* g_world = nullptr;
platform::WindowHandle g_nextWindow = 0x10000;
}  // namespace

World& world() {
  if (g_world == nullptr) g_world = new World();
  return *g_world;
}

void Reset() {
  platform::ForgetForms();
  // The tick count never runs backwards, as on Windows: what one world's
  // last click left pending has expired by the next world's first.
  std::uint32_t clock = g_world != nullptr ? g_world->clock + 60000 : 0;
  delete g_world;
  g_world = new World();
  g_world->clock = clock;
  g_nextWindow = 0x10000;
}

std::string Narrow(const std::wstring& text) { return platform::WideToNarrow(text); }

namespace {
template <class F>
bool Deliver(F&& event) {
  if (world().ended) return false;
  try {
    platform::RunEvent(event);
  } catch (const ProgramEnded&) {
    return false;
  }
  return true;
}
}  // namespace

bool StartProgram() { return Deliver([] { StartUp(platform::CommandLineArguments()); }); }

bool MouseMove(platform::Form& form, int x, int y) {
  return Deliver([&] { form.OnMouseMove(x, y); });
}

bool ButtonDown(platform::Form& form, int x, int y, bool left) {
  return Deliver([&] { form.OnButtonDown(x, y, left); });
}

bool Click(platform::Form& form, int x, int y) {
  return Deliver([&] { form.OnButtonDown(x, y, true); }) &&
         Deliver([&] { form.OnButtonUp(x, y, true); });
}

bool Input(const std::function<void()>& event) { return Deliver(event); }

bool CaptureLost(platform::Form& form) { return Deliver([&] { form.OnCaptureLost(); }); }

bool MinimizeRequest(platform::Form& form) { return Deliver([&] { form.OnMinimizeRequest(); }); }

std::pair<int, int> CenterOf(const platform::Form& form, int control) {
  const auto& r = form.controls().at(static_cast<std::size_t>(control)).rect;
  return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

Window* World::FindWindow(platform::WindowHandle handle) {
  for (auto& w : windows)
    if (w.handle == handle) return &w;
  return nullptr;
}

Process* World::FindProcess(std::uint32_t id) {
  for (auto& p : processes)
    if (p.id == id && p.running) return &p;
  return nullptr;
}

platform::WindowHandle World::AddWindow(const std::wstring& className, const std::wstring& caption) {
  Window w{};
  w.handle = g_nextWindow += 0x10;
  w.className = className;
  w.caption = caption;
  windows.push_back(w);
  return w.handle;
}

void World::AddProcess(std::uint32_t id, const std::string& exeFile, bool canOpen) {
  Process p{};
  p.id = id;
  p.exeFile = exeFile;
  p.canOpen = canOpen;
  processes.push_back(p);
}

std::vector<std::string> World::CallsStartingWith(const std::string& prefix) const {
  std::vector<std::string> out;
  for (const auto& c : calls)
    if (c.rfind(prefix, 0) == 0) out.push_back(c);
  return out;
}

}  // namespace sim

namespace platform {

using sim::world;

namespace {
void Log(const std::string& call) { world().calls.push_back(call); }
std::string Hex(std::uintptr_t value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%#llx", static_cast<unsigned long long>(value));
  return buffer;
}
constexpr Handle SnapshotHandle = 0x5000;
constexpr Handle StartedHandleBase = 0x200000;  // handles of started programs: base + id
constexpr Handle NamedObjectHandle = 0x400000;  // not followed, as the started ones
// Where the lines of the copy with raised rights go while it runs.
void (*g_lineReceiver)(const std::wstring&) = nullptr;
std::size_t g_snapshotPosition = 0;
int g_snapshotReturned = 0;
}  // namespace

Failure::Failure(unsigned long code, std::wstring description)
    : code_(code), description_(std::move(description)), narrow_(WideToNarrow(description_)) {}

std::wstring DescribeError(unsigned long code) {
  switch (code) {
    case ErrorFileNotFound: return L"The system cannot find the file specified.";
    case ErrorPathNotFound: return L"The system cannot find the path specified.";
    case ErrorAccessDenied: return L"Access is denied.";
    case ErrorSharingViolation:
      return L"The process cannot access the file because it is being used by another process.";
    case ErrorCancelled: return L"The operation was canceled by the user.";
    default: return L"Error " + std::to_wstring(code) + L".";
  }
}

// The simulated system's narrow code page is Latin-1.
std::wstring NarrowToWide(const char* text, std::size_t length) {
  std::wstring out;
  for (std::size_t i = 0; i < length; ++i) out += static_cast<wchar_t>(static_cast<unsigned char>(text[i]));
  return out;
}

std::string WideToNarrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += c < 256 ? static_cast<char>(c) : '?';
  return out;
}

std::wstring LowerCase(const std::wstring& text) {
  std::wstring out = text;
  for (auto& c : out) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
  return out;
}

// ---------------------------------------------------------------- registry
AutomationObject::AutomationObject(const std::wstring& progId) {
  Log("CreateObject(" + sim::Narrow(progId) + ")");
  if (world().automationMissing) throw Failure(429, L"ActiveX component can't create object");
  object_ = &world();
}

AutomationObject::~AutomationObject() {
  if (object_ != nullptr) Log("Release");
}

Variant AutomationObject::Call(const std::wstring& method, const std::wstring& argument) {
  Log(sim::Narrow(method) + "(" + sim::Narrow(argument) + ")");
  auto& registry = world().registry;
  if (world().unreadable.count(argument) != 0) throw Failure(0x80070005, L"Access is denied.");
  if (auto failure = world().readFailures.find(argument); failure != world().readFailures.end())
    throw Failure(failure->second, DescribeError(failure->second & 0xFFFF));
  auto found = registry.find(argument);
  if (found == registry.end())
    throw Failure(0x80070002, L"Unable to open registry key \"" + argument + L"\" for reading.");
  return found->second;
}

// ---------------------------------------------------------------- version
int GetVersionExA(VersionRecord& record) {
  Log("GetVersionExA(" + std::to_string(record.dwOSVersionInfoSize) + ")");
  if (world().versionFails || record.dwOSVersionInfoSize != sizeof(VersionRecord)) return 0;
  record = world().version;
  record.dwOSVersionInfoSize = sizeof(VersionRecord);
  return 1;
}

// ---------------------------------------------------------------- windows
long GetWindowLongA(WindowHandle window, int index) {
  Log("GetWindowLongA(" + Hex(window) + "," + std::to_string(index) + ")");
  auto* w = world().FindWindow(window);
  return w != nullptr && index == -20 ? w->exStyle : 0;
}

long SetWindowLongA(WindowHandle window, int index, long value) {
  Log("SetWindowLongA(" + Hex(window) + "," + std::to_string(index) + "," + Hex(value) + ")");
  auto* w = world().FindWindow(window);
  if (w == nullptr || index != -20) return 0;
  long old = w->exStyle;
  w->exStyle = value;
  return old;
}

int SetWindowPos(WindowHandle window, WindowHandle insertAfter, int x, int y, int cx, int cy,
                 unsigned flags) {
  Log("SetWindowPos(" + Hex(window) + "," + std::to_string(static_cast<std::intptr_t>(insertAfter)) +
      "," + std::to_string(x) + "," + std::to_string(y) + "," + std::to_string(cx) + "," +
      std::to_string(cy) + "," + std::to_string(flags) + ")");
  auto* w = world().FindWindow(window);
  if (w == nullptr) return 0;
  if (insertAfter == static_cast<WindowHandle>(-1)) w->topmost = true;
  if (insertAfter == static_cast<WindowHandle>(-2)) w->topmost = false;
  return 1;
}

int SetLayeredWindowAttributes(WindowHandle window, Color key, std::uint8_t alpha,
                               std::uint32_t flags) {
  Log("SetLayeredWindowAttributes(" + Hex(window) + "," + std::to_string(key) + "," +
      std::to_string(alpha) + "," + std::to_string(flags) + ")");
  if (world().layeredWindowsMissing) throw Failure(ErrorProcNotFound, L"Can't find DLL entry point");
  auto* w = world().FindWindow(window);
  if (w == nullptr || (w->exStyle & 0x80000) == 0) return 0;
  w->alpha = alpha;
  return 1;
}

int ReleaseCapture() {
  Log("ReleaseCapture");
  return 1;
}

std::intptr_t SendMessageA(WindowHandle window, unsigned message, std::uintptr_t wParam,
                           std::intptr_t lParam) {
  Log("SendMessageA(" + Hex(window) + "," + Hex(message) + "," + std::to_string(wParam) + "," +
      std::to_string(lParam) + ")");
  return 0;
}

bool IsLeftButtonDown() { return world().leftButtonDown; }

WindowHandle FindWindowExA(WindowHandle after, const std::wstring& className) {
  Log("FindWindowExA(" + Hex(after) + "," + sim::Narrow(className) + ")");
  if (world().beforeLookup) world().beforeLookup();
  auto& windows = world().windows;
  auto start = windows.begin();
  if (after != 0) {
    start = std::find_if(windows.begin(), windows.end(), [&](auto& w) { return w.handle == after; });
    if (start == windows.end()) return 0;
    ++start;
  }
  auto found = std::find_if(start, windows.end(), [&](auto& w) {
    return LowerCase(w.className) == LowerCase(className);
  });
  return found == windows.end() ? 0 : found->handle;
}

bool IsWindow(WindowHandle window) { return world().FindWindow(window) != nullptr; }

bool SendMessageTimeoutA(WindowHandle window, unsigned message, std::uintptr_t wParam,
                         std::intptr_t lParam, unsigned timeoutMs) {
  Log("SendMessageTimeoutA(" + Hex(window) + "," + Hex(message) + "," + std::to_string(wParam) +
      "," + std::to_string(lParam) + "," + std::to_string(timeoutMs) + ")");
  auto& windows = world().windows;
  auto it = std::find_if(windows.begin(), windows.end(), [&](auto& w) { return w.handle == window; });
  if (it == windows.end()) return false;
  if (it->hung || it->closeMs > timeoutMs) {  // the sender gives up
    world().clock += it->hung ? 0 : timeoutMs;
    return false;
  }
  world().clock += it->closeMs;
  if (message == 0x10 && !it->ignoresClose) windows.erase(it);
  return true;
}

unsigned RegisterWindowMessageA(const std::wstring& name) {
  Log("RegisterWindowMessageA(" + sim::Narrow(name) + ")");
  return 0xC123;
}

int PostMessageA(WindowHandle window, unsigned message, std::uintptr_t wParam,
                 std::intptr_t lParam) {
  Log("PostMessageA(" + Hex(window) + "," + Hex(message) + "," + std::to_string(wParam) + "," +
      std::to_string(lParam) + ")");
  world().posted.emplace_back(window, message);
  return 1;
}

// ---------------------------------------------------------------- processes
Handle CreateToolhelp32Snapshot(std::uint32_t flags, std::uint32_t processId) {
  Log("CreateToolhelp32Snapshot(" + std::to_string(flags) + "," + std::to_string(processId) + ")");
  if (world().snapshotMissing) throw Failure(453, L"Can't find DLL entry point CreateToolhelp32Snapshot");
  g_snapshotPosition = 0;
  g_snapshotReturned = 0;
  return SnapshotHandle;
}

namespace {
int FillEntry(Handle snapshot, ProcessEntry& entry) {
  auto& w = world();
  if (snapshot != SnapshotHandle || entry.dwSize != sizeof(ProcessEntry)) return 0;
  if (w.snapshotFailsAfterEntries >= 0 && g_snapshotReturned >= w.snapshotFailsAfterEntries)
    throw Failure(5, L"Access is denied.");
  while (g_snapshotPosition < w.processes.size() && !w.processes[g_snapshotPosition].running)
    ++g_snapshotPosition;
  if (g_snapshotPosition >= w.processes.size()) return 0;
  const auto& p = w.processes[g_snapshotPosition++];
  std::uint32_t size = entry.dwSize;
  entry = ProcessEntry{};
  entry.dwSize = size;
  entry.th32ProcessID = p.id;
  std::size_t n = std::min(p.exeFile.size(), sizeof entry.szExeFile);
  std::copy_n(p.exeFile.data(), n, entry.szExeFile);  // no NUL when the name fills the field
  ++g_snapshotReturned;
  return 1;
}
}  // namespace

int Process32First(Handle snapshot, ProcessEntry& entry) {
  Log("Process32First(" + std::to_string(entry.dwSize) + ")");
  g_snapshotPosition = 0;
  g_snapshotReturned = 0;
  return FillEntry(snapshot, entry);
}

int Process32Next(Handle snapshot, ProcessEntry& entry) {
  Log("Process32Next(" + std::to_string(entry.dwSize) + ")");
  return FillEntry(snapshot, entry);
}

Handle OpenProcess(std::uint32_t access, bool inherit, std::uint32_t processId) {
  Log("OpenProcess(" + Hex(access) + "," + std::to_string(inherit) + "," + std::to_string(processId) + ")");
  auto* p = world().FindProcess(processId);
  if (p == nullptr || !p->canOpen) return 0;
  return 0x100000 + processId;
}

int TerminateProcess(Handle process, std::uint32_t exitCode) {
  if (process >= StartedHandleBase + 9000 && process < StartedHandleBase + 0x100000) {
    sim::Started& started = world().started.at(process - StartedHandleBase - 9000);
    Log("TerminateProcess(started " + std::to_string(started.processId) + ")");
    started.terminated = true;
    started.terminatedWith = exitCode;
    started.endedAt = world().clock;
    return 1;
  }
  Log("TerminateProcess(" + std::to_string(process >= 0x100000 ? process - 0x100000 : 0) + "," +
      std::to_string(exitCode) + ")");
  auto* p = world().FindProcess(static_cast<std::uint32_t>(process - 0x100000));
  if (process < 0x100000 || p == nullptr) return 0;
  p->running = false;
  p->exitCode = exitCode;
  return 1;
}

int CloseHandle(Handle handle) {
  if (handle >= StartedHandleBase) return 1;  // started programs' handles are not followed
  Log(handle == SnapshotHandle ? "CloseHandle(snapshot)"
                               : "CloseHandle(" + std::to_string(handle - 0x100000) + ")");
  return 1;
}

bool WaitForProcessesToExit(const std::vector<HeldProcess>& processes, unsigned timeoutMs) {
  std::string ids;
  for (const auto& p : processes) ids += (ids.empty() ? "" : " ") + std::to_string(p.id);
  Log("WaitForProcessesToExit(" + ids + "," + std::to_string(timeoutMs) + ")");
  return true;
}

// ---------------------------------------------------------------- run time
std::uint32_t TickCount() { return world().clock; }

HeldProcess Shell(const std::wstring& program, const std::wstring& commandLine, int showState,
                  const std::wstring& currentDirectory) {
  Log("Shell(" + sim::Narrow(program) + "," + sim::Narrow(commandLine) + "," +
      std::to_string(showState) + ")");
  auto& w = world();
  if (w.unstartable.count(LowerCase(program)) != 0) throw Failure(ErrorFileNotFound, DescribeError(ErrorFileNotFound));
  std::uint32_t id = 9000 + static_cast<std::uint32_t>(w.started.size());
  w.started.push_back({program, commandLine, showState, id, currentDirectory});
  w.started.back().startedAt = w.clock;
  return {UniqueHandle(StartedHandleBase + id), id};
}

HeldProcess ShellAsDesktopUser(const std::wstring& program, const std::wstring& commandLine, int showState,
                               const std::wstring& currentDirectory) {
  Log("ShellAsDesktopUser");
  if (!world().desktopShell) throw Failure(ErrorNotFound, DescribeError(ErrorNotFound));
  HeldProcess process = Shell(program, commandLine, showState, currentDirectory);
  world().started.back().asDesktopUser = true;
  return process;
}

bool IsLocalSystem() { return world().localSystem; }

// The simulated program is the x86 build: the paths as the products write them.
std::wstring SoftwareKeyOf32BitPrograms() { return L"HKLM\\Software\\"; }

std::wstring SystemDirectory() { return world().systemDirectory; }

WindowHandle WaitForFocusInProcess(const HeldProcess& process, unsigned timeoutMs, WindowHandle prompt) {
  Log("WaitForFocusInProcess(" + std::to_string(process.id) + "," + std::to_string(timeoutMs) +
      (prompt != 0 ? "," + std::to_string(prompt) : "") + ")");
  return world().installerTakesFocus && prompt == 0 ? 1 : 0;
}

void SendEnterKey() { Log("SendEnterKey"); }

namespace {
void RefuseRedirected(const std::wstring& path) {
  auto& w = world();
  auto resolved = w.resolvedPaths.find(path);
  if (w.version.dwMajorVersion >= 6 && resolved != w.resolvedPaths.end() && !IsSamePath(path, resolved->second))
    throw Failure(ErrorRedirected, L"a folder on its path is redirected, to " + resolved->second);
}
}  // namespace

void Kill(const std::wstring& path) {
  Log("Kill(" + sim::Narrow(path) + ")");
  RefuseRedirected(path);
  auto& w = world();
  auto error = w.fileDeleteErrors.find(path);
  if (error != w.fileDeleteErrors.end()) throw Failure(error->second, DescribeError(error->second));
  if (w.files.count(path) != 0 &&
      (w.readOnlyFiles.count(path) + w.loadedFiles.count(path) + w.deleteRefused.count(path)) != 0)
    throw Failure(ErrorAccessDenied, DescribeError(ErrorAccessDenied));
  if (w.files.erase(path) == 0) throw Failure(ErrorFileNotFound, DescribeError(ErrorFileNotFound));
}

// Started programs end at once, with the code the test gives each (else
// successfully); the copy with raised rights with its own.
namespace {
// A copy on a session's desktop ends as a real one does: a marker, then the
// Messenger processes it ended and the windows it asked to close, a byte each.
unsigned long SessionCopyCode(std::uint32_t session) {
  auto& w = world();
  unsigned long asked = 0, ended = 0;
  for (auto window = w.windows.begin(); window != w.windows.end();)
    if (window->className == L"imwindowclass" && window->session == session) {
      ++asked;
      window = w.windows.erase(window);
    } else {
      ++window;
    }
  for (auto& p : w.processes)
    if (p.running && p.session == session && LowerCase(NarrowToWide(p.exeFile.data(), p.exeFile.size())) == L"msnmsgr.exe") {
      p.running = false;
      ++ended;
    }
  if (w.signsOutAfterCopy.count(session) != 0) w.signedOut.insert(session);
  return 0x5C010000 | ended << 8 | asked;
}
}  // namespace

// Started programs run for their runsMs (0: end at once), then end with the
// code the test gives each (else successfully); the copy with raised rights
// with its own. The wait advances the clock by what it waited.
unsigned long WaitForExitCode(const HeldProcess& process, unsigned timeoutMs) {
  Log("WaitForExitCode(" + std::to_string(process.id) + "," + std::to_string(timeoutMs) + ")");
  auto& w = world();
  if (process.id == 0) {
    for (const std::wstring& line : w.copyLines)
      if (g_lineReceiver != nullptr) g_lineReceiver(line);
    return w.elevatedExitCode;
  }
  const std::size_t index = process.id - 9000;
  sim::Started& started = w.started.at(index);
  if (started.terminated) return started.terminatedWith;
  const std::uint32_t endsAt = started.startedAt + started.runsMs;
  if (started.runsMs == sim::NeverEnds || (endsAt > w.clock && endsAt - w.clock > timeoutMs)) {
    w.clock += timeoutMs;
    return StillActive;
  }
  w.clock = std::max(w.clock, endsAt);
  started.endedAt = endsAt;
  if (started.session != NoSession && started.program == ProgramFile()) return SessionCopyCode(started.session);
  return index < w.exitCodes.size() ? w.exitCodes[index] : 0;
}
bool FileExists(const std::wstring& path) { return world().files.count(path) != 0; }

unsigned long OpenForDelete(const std::wstring& path) {
  auto& w = world();
  if (!FileExists(path)) return ErrorFileNotFound;
  if (w.deleteRefused.count(path) != 0) return ErrorAccessDenied;
  auto error = w.fileDeleteErrors.find(path);
  return error != w.fileDeleteErrors.end() && error->second == ErrorSharingViolation ? ErrorSharingViolation : 0;
}

unsigned long FileInUse(const std::wstring& path) {
  if (FileExists(path) && world().loadedFiles.count(path) != 0) return ErrorSharingViolation;
  const unsigned long error = OpenForDelete(path);
  return error == ErrorSharingViolation || error == ErrorAccessDenied ? error : 0;
}

std::vector<std::uint32_t> ProcessesWithModule(const std::wstring& path) {
  auto holders = world().loadedBy.find(path);
  return holders == world().loadedBy.end() ? std::vector<std::uint32_t>() : holders->second;
}

std::uint32_t GetFileAttributesW(const std::wstring& path) {
  if (!FileExists(path)) return InvalidFileAttributes;
  return 0x20 | (world().readOnlyFiles.count(path) != 0 ? FileAttributeReadOnly : 0);
}

bool SetFileAttributesW(const std::wstring& path, std::uint32_t attributes) {
  Log("SetFileAttributesW(" + sim::Narrow(path) + "," + std::to_string(attributes) + ")");
  if (!FileExists(path)) return false;
  if (attributes & FileAttributeReadOnly) world().readOnlyFiles.insert(path); else world().readOnlyFiles.erase(path);
  return true;
}

void MoveFileExDelayUntilReboot(const std::wstring& path) {
  Log("MoveFileExDelayUntilReboot(" + sim::Narrow(path) + ")");
  RefuseRedirected(path);
  if (unsigned long error = world().delayUntilRebootError) throw Failure(error, DescribeError(error));
  if (!FileExists(path)) throw Failure(ErrorFileNotFound, DescribeError(ErrorFileNotFound));
  world().deletedAtRestart.push_back(path);
}

// Windows 2000 and XP have no TokenElevation class.
bool GetTokenElevation(bool& elevated) {
  if (world().version.dwMajorVersion < 6) return false;
  elevated = world().tokenElevated;
  return true;
}

// The copy with raised rights is held as id 0; WaitForExitCode gives its code.
HeldProcess ShellExecuteExRunAs(const std::wstring& parameters) {
  Log("ShellExecuteExRunAs(" + sim::Narrow(parameters) + ")");
  if (unsigned long error = world().elevationError) throw Failure(error, DescribeError(error));
  return {UniqueHandle(StartedHandleBase), 0};
}
bool AppendToFile(const std::wstring&, const std::wstring& text) { world().log += text; return true; }
DateTime LocalTime() { return {2024, 3, 7, 9, 5, 0, 60}; }

std::wstring EventSourceMessageFile(const std::wstring& source) {
  auto found = world().eventSources.find(source);
  return found == world().eventSources.end() ? L"" : found->second;
}
unsigned long RegisterEventSourceKey(const std::wstring& source, const std::wstring& messageFile, std::uint32_t) {
  if (world().eventSourceError == 0) world().eventSources[source] = messageFile;
  return world().eventSourceError;
}
unsigned long ReportEventW(const std::wstring&, std::uint16_t type, std::uint32_t id, const std::wstring& text) {
  world().events.push_back({type, id, text});
  return 0;
}
// As MoveFileEx writes it: each scheduled deletion, with an empty target.
std::vector<std::wstring> PendingFileRenameOperations() {
  std::vector<std::wstring> entries;
  for (const std::wstring& path : world().deletedAtRestart) entries.insert(entries.end(), {L"\\??\\" + path, L""});
  return entries;
}
SystemFacts DescribeSystem() {
  return {L"SIM-PC", world().account, world().sessionCalls ? static_cast<long>(world().thisSession) : -1};
}
LineReceiver::LineReceiver(void (*received)(const std::wstring&)) : window_(received != nullptr) {
  g_lineReceiver = received;
}
LineReceiver::~LineReceiver() {
  if (window_ != 0) g_lineReceiver = nullptr;
}
bool SendLineToParent(const std::wstring& line) {
  Log("SendLineToParent(" + sim::Narrow(line) + ")");
  return true;
}
std::vector<std::wstring> CommandLineArguments() { return world().arguments; }
bool HasUserDesktop() { return world().userDesktop; }

void MsgBox(const std::wstring& text, int style, const std::wstring& title) {
  Log("MsgBox(" + sim::Narrow(title) + ")");
  world().messageBoxes.push_back({text, style, title});
}

void End(unsigned exitCode) {
  Log("End");
  world().ended = true;
  world().exitCode = exitCode;
  throw sim::ProgramEnded{static_cast<int>(exitCode)};
}

void ReportUnhandledFailure(const std::wstring& description, unsigned exitCode) {
  Log("ReportUnhandledFailure");
  world().reportedFailures.push_back(description);
  world().ended = true;
  world().exitCode = exitCode;
  throw sim::ProgramEnded{static_cast<int>(exitCode)};
}

void RemoveFromTaskList() {
  Log("RemoveFromTaskList");
  world().removedFromTaskList = true;
}

void BringBackRunningCopy() { Log("BringBackRunningCopy"); }

static std::wstring ResolvedName(const std::wstring& name) {
  const auto& w = world();
  std::wstring bare = name;
  bool global = false;
  for (const wchar_t* prefix : {L"Global\\", L"Local\\"})
    if (name.rfind(prefix, 0) == 0) {
      bare = name.substr(std::wcslen(prefix));
      global = prefix[0] == L'G';
    }
  if (!w.sessionCalls || global || w.thisSession == 0) return L"\\BaseNamedObjects\\" + bare;
  return L"\\Sessions\\" + std::to_wstring(w.thisSession) + L"\\BaseNamedObjects\\" + bare;
}

}  // namespace platform

void sim::AddNamedObject(const std::wstring& name, platform::ObjectOwner owner, const std::wstring& ownerName) {
  world().namedObjects[platform::ResolvedName(name)] = {owner, ownerName};
}

namespace platform {

NamedMutex CreateNamedMutex(const std::wstring& name) {
  Log("CreateNamedMutex(" + sim::Narrow(name) + ")");
  auto& w = world();
  auto [object, created] = w.namedObjects.try_emplace(
      ResolvedName(name), w.localSystem     ? std::pair{ObjectOwner::LocalSystem, std::wstring(L"NT AUTHORITY\\SYSTEM")}
                          : w.tokenElevated ? std::pair{ObjectOwner::Administrators, std::wstring(L"BUILTIN\\Administrators")}
                                            : std::pair{ObjectOwner::Other, w.account});
  return {UniqueHandle(NamedObjectHandle), !created, object->second.first, object->second.second};
}
bool IsInstallerBusy() { return world().installerBusy; }
DebugPrivilege::DebugPrivilege() : enabled_(true) {}
DebugPrivilege::~DebugPrivilege() = default;

std::uint32_t SessionOfProcess(std::uint32_t processId) {
  const sim::Process* p = world().FindProcess(processId);
  return world().sessionCalls && p != nullptr ? p->session : NoSession;
}
std::uint32_t ThisSession() { return world().sessionCalls ? world().thisSession : NoSession; }

// Session n's token is TokenBase + n, not followed as the started ones.
constexpr Handle TokenBase = 0x300000;
UniqueHandle SessionUserToken(std::uint32_t session) {
  if (!world().sessionCalls) throw Failure(ErrorProcNotFound, DescribeError(ErrorProcNotFound));
  if (world().signedOut.count(session) != 0) throw Failure(ErrorNoToken, DescribeError(ErrorNoToken));
  if (world().sessionUsers.count(session) == 0) throw Failure(1314, L"A required privilege is not held by the client.");
  return UniqueHandle(TokenBase + session);
}
std::wstring TokenUserName(Handle token) { return world().sessionUsers[static_cast<std::uint32_t>(token - TokenBase)]; }

// The program's copy on a session's desktop does there what a real one does
// (see SessionCopyCode): the windows on that desktop are asked to close, and
// Messenger in that session ends.
HeldProcess ShellAsUser(Handle token, const std::wstring& program, const std::wstring& commandLine, int showState,
                        const std::wstring& currentDirectory) {
  auto& w = world();
  const auto session = static_cast<std::uint32_t>(token - TokenBase);
  if (w.noEnvironment.count(session) != 0) throw Failure(ErrorAccessDenied, DescribeError(ErrorAccessDenied));
  HeldProcess process = Shell(program, commandLine, showState, currentDirectory);
  w.started.back().session = session;
  if (program == ProgramFile() && commandLine.find(L"/sessionsteps") != std::wstring::npos) {
    auto runs = w.sessionCopyRunsMs.find(session);
    w.started.back().runsMs = runs == w.sessionCopyRunsMs.end() ? 0 : runs->second;
  }
  return process;
}
std::wstring ProgramFile() { return L"C:\\D\\ScribbitRemoval.exe"; }

// ---------------------------------------------------------------- forms
namespace backend {

WindowHandle CreateFormWindow(Form& form) {
  WindowHandle handle = world().AddWindow(L"ScribbitRemovalForm", form.design().caption);
  Log("CreateForm(" + sim::Narrow(form.design().caption) + ")");
  LayOutForm(form, 96);
  return handle;
}

void LayOutForm(Form& form, int dpi) {
  form.LayOut(dpi);
  // Text extents: 7 x 13 pixels a character at 96 DPI stand in for the font.
  for (std::size_t i = 0; i < form.design().controls.size(); ++i) {
    const auto& c = form.design().controls[i];
    if (c.kind == ControlKind::Label && c.autoSize)
      form.SetAutoSize(static_cast<int>(i), 7 * static_cast<int>(c.caption.size()) * dpi / 96, 13 * dpi / 96);
  }
}

bool KeyboardCuesAlwaysShown() { return world().keyboardCues; }
void ShowKeyboardCues(Form& form) { form.OnKeyboardCues(true, true); }

// Every window is centred on a 1024 x 768 screen at the same place.
PressPlace PlaceOfPress(Form&, int x, int y) { return {world().clock, 380 + x, 324 + y}; }
DoubleClickLimits DoubleClick() { return {500, 4, 4}; }

void ShowForm(Form& form) {
  Log("ShowForm(" + sim::Narrow(form.design().caption) + ")");
  if (auto* w = world().FindWindow(form.hWnd())) w->visible = true;
}

void ShowFormModal(Form& form) {
  Log("ShowFormModal(" + sim::Narrow(form.design().caption) + ")");
  if (auto* w = world().FindWindow(form.hWnd())) w->visible = true;
}

void HideForm(Form& form) {
  Log("HideForm(" + sim::Narrow(form.design().caption) + ")");
  if (auto* w = world().FindWindow(form.hWnd())) w->visible = false;
}

void DestroyForm(Form& form) {
  Log("DestroyForm(" + sim::Narrow(form.design().caption) + ")");
  auto& windows = world().windows;
  windows.erase(std::remove_if(windows.begin(), windows.end(),
                               [&](auto& w) { return w.handle == form.hWnd(); }),
                windows.end());
}

void MinimizeForm(Form& form) {
  Log("MinimizeForm(" + sim::Narrow(form.design().caption) + ")");
  if (auto* w = world().FindWindow(form.hWnd())) w->minimized = true;
}

void InvalidateControl(Form&, const PixelRect& rect) {
  Log("Invalidate(" + std::to_string(rect.left) + "," + std::to_string(rect.top) + ")");
}

void InvalidateForm(Form& form) { Log("InvalidateForm(" + sim::Narrow(form.design().caption) + ")"); }

void NotifyFocus(Form&, int control) { Log("NotifyFocus(" + std::to_string(control) + ")"); }

bool IsHighContrast() { return world().highContrast; }

}  // namespace backend

void RunMessageLoop() {}

}  // namespace platform
