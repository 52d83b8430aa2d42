// Exit code: 1 when IsWin2000 answers true, plus 2 when IsWinXP does.
#include "modules/api.h"
#include "platform/win32/win32.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  bool win2000 = IsWin2000();
  bool winXP = IsWinXP();
  return (win2000 ? 1 : 0) | (winXP ? 2 : 0);
}
