// The process starts from its command line: the main window, or a run with switches.
#include "modules/Unattended.h"
#include "platform/form.h"
#include "win32.h"

namespace {

// A failure nothing could catch (a fault, or a C++ termination) ends the
// program as any other failure does: the report for a person, 1603 and a log
// line for a deployment tool, never a box of the system's or the run time's.
// A second one on the way out just ends.
[[noreturn]] void EndUnexpectedly(const std::wstring& description) {
  static bool ending = false;
  if (ending) ExitProcess(Mode.switches ? ExitFailed : 1);
  ending = true;
  Fail(description);
}

LONG WINAPI OnFault(EXCEPTION_POINTERS* fault) {
  wchar_t code[16];
  _ultow(fault->ExceptionRecord->ExceptionCode, code, 16);
  EndUnexpectedly(L"Unexpected failure (exception 0x" + std::wstring(code) + L").");
}

}  // namespace

// Every failure is caught at the event boundary; should termination still be
// reached, this replaces the library's verbose handler, which would also bring
// in a symbol demangler as large as the rest of the program.
namespace __gnu_cxx {
void __verbose_terminate_handler() { EndUnexpectedly(L"Unexpected failure (termination)."); }
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

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // No box of the system's (a drive without a disk, a fault) may stop a run
  // that nobody watches; a fault ends as any other failure does.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  SetUnhandledExceptionFilter(OnFault);
  RestrictLibrarySearch();
  platform::RunEvent([] { StartUp(platform::CommandLineArguments()); });
  platform::RunMessageLoop();
  return 0;
}
