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

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  platform::RunEvent([] { StartUp(platform::CommandLineArguments()); });
  platform::RunMessageLoop();
  return 0;
}
