// The process starts from its command line: the main window, or a run with switches.
#include "modules/Log.h"
#include "modules/Outcome.h"
#include "modules/StartUp.h"
#include "platform/form.h"
#include "win32.h"

namespace {

// A failure nothing could catch (a fault, or a C++ termination) ends the
// program as any other failure does: the report for a person, 1603 and a log
// line for a deployment tool, never a box of the system's or the run time's.
// The process may be in any state by then: the report is made on a thread of
// its own, with a stack of its own (a stack overflow leaves little on the
// failing thread), which hides the windows without waiting for them, so that
// no window code runs on the faulted stack. The failing thread waits for the
// report within a bound (a fault while the heap or loader lock was held
// blocks it for good), and for a person's box within a longer one; then the
// process ends at once. A second failure on the way out just ends it.
DWORD g_exceptionCode = 0;  // 0: a termination
constexpr DWORD ReportBoundMs = 10000;
constexpr DWORD BoxBoundMs = 600000;

// Asynchronously: the failing thread's windows hide only if it runs again,
// and then it runs nothing else; either way nothing can be started in them.
BOOL CALLBACK HideOwnWindows(HWND window, LPARAM) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process == GetCurrentProcessId()) ShowWindowAsync(window, SW_HIDE);
  return TRUE;
}

DWORD WINAPI ReportFailure(LPVOID) {
  EnumWindows(HideOwnWindows, 0);
  if (g_exceptionCode == 0) Fail(L"Unexpected failure (termination).");
  wchar_t code[16];
  _ultow(g_exceptionCode, code, 16);
  Fail(L"Unexpected failure (exception 0x" + std::wstring(code) + L").");
}

[[noreturn]] void EndUnexpectedly(DWORD exceptionCode) {
  static LONG ending = 0;
  platform::win32::g_failing = true;
  const UINT code = Mode.switches ? ExitFailed : 1;
  if (InterlockedExchange(&ending, 1) != 0) TerminateProcess(GetCurrentProcess(), code);
  g_exceptionCode = exceptionCode;
  platform::win32::g_failureBoxShown = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE thread = CreateThread(nullptr, 0, ReportFailure, nullptr, 0, nullptr);
  if (thread != nullptr && platform::win32::g_failureBoxShown != nullptr) {
    HANDLE waits[] = {thread, platform::win32::g_failureBoxShown};
    if (WaitForMultipleObjects(2, waits, FALSE, ReportBoundMs) == WAIT_OBJECT_0 + 1)
      WaitForSingleObject(thread, BoxBoundMs);
  } else if (thread != nullptr) {
    WaitForSingleObject(thread, ReportBoundMs);
  }
  TerminateProcess(GetCurrentProcess(), code);
  for (;;) {}  // TerminateProcess of the own process does not return
}

LONG WINAPI OnFault(EXCEPTION_POINTERS* fault) { EndUnexpectedly(fault->ExceptionRecord->ExceptionCode); }

}  // namespace

// Every failure is caught at the event boundary; should termination still be
// reached, this replaces the library's verbose handler, which would also bring
// in a symbol demangler as large as the rest of the program.
namespace __gnu_cxx {
void __verbose_terminate_handler() { EndUnexpectedly(0); }
}  // namespace __gnu_cxx

namespace {

// Libraries that Windows or COM load by name from now on come from the system
// directory only, never from the program's own folder (often a downloads
// folder) or the current directory. Looked up at run time: older systems lack
// one or both calls.
void RestrictLibrarySearch() {
  constexpr DWORD SearchSystem32 = 0x800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  auto setDefault = platform::win32::LookUp<BOOL(WINAPI*)(DWORD)>(kernel, "SetDefaultDllDirectories");
  if (setDefault != nullptr && setDefault(SearchSystem32)) return;
  auto setDirectory = platform::win32::LookUp<BOOL(WINAPI*)(LPCWSTR)>(kernel, "SetDllDirectoryW");
  if (setDirectory != nullptr) setDirectory(L"");  // at least not the current directory
}

// Windows 10 and later: no junction or link that a less trusted user made is
// followed (ProcessRedirectionTrustPolicy, EnforceRedirectionTrust). And room
// kept on this thread's stack for the failure handler after an overflow
// (Server 2003 SP1 and later). Both looked up at run time.
void HardenProcess() {
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  auto setPolicy = platform::win32::LookUp<BOOL(WINAPI*)(int, PVOID, SIZE_T)>(kernel, "SetProcessMitigationPolicy");
  DWORD enforceRedirectionTrust = 1;
  if (setPolicy != nullptr) setPolicy(16, &enforceRedirectionTrust, sizeof enforceRedirectionTrust);
  auto guarantee = platform::win32::LookUp<BOOL(WINAPI*)(PULONG)>(kernel, "SetThreadStackGuarantee");
  ULONG reserve = 32 * 1024;
  if (guarantee != nullptr) guarantee(&reserve);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // No box of the system's (a drive without a disk, a fault) may stop a run
  // that nobody watches; a fault ends as any other failure does.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  SetUnhandledExceptionFilter(OnFault);
  RestrictLibrarySearch();
  HardenProcess();
  platform::RunEvent([] { StartUp(platform::CommandLineArguments()); });
  platform::RunMessageLoop();
  return 0;
}
