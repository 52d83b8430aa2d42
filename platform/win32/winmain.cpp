// The process starts by creating its main window.
#include "forms/frmMain.h"
#include "win32.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  platform::RunEvent([] { frmMain::Show(); });
  platform::RunMessageLoop();
  return 0;
}
