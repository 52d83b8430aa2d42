// The process starts from its command line: the main window, or a run with switches.
#include "modules/Unattended.h"
#include "platform/form.h"
#include "win32.h"

#include <cstdlib>

// Every failure is caught at the event boundary; should termination still be
// reached, end without the library's verbose handler, which would bring in a
// symbol demangler as large as the rest of the program.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
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
  RestrictLibrarySearch();
  platform::RunEvent([] { StartUp(platform::CommandLineArguments()); });
  platform::RunMessageLoop();
  return 0;
}
