// Both windows' designs realised by the real form runtime in this process:
// what only the owning process can see (icons, the painted face).
#include "forms/frmAbout.h"
#include "forms/frmMain.h"
#include "win_test_support.h"

namespace {

HWND Realise(const platform::FormDesign& design) {
  platform::Form& form = platform::Form::Load(design, {});
  form.Show();
  return reinterpret_cast<HWND>(form.hWnd());
}

TEST(Forms, OnlyTheAboutWindowCarriesTheProgramIcon) {
  HWND main = Realise(frmMain::Design());
  HWND about = Realise(frmAbout::Design());
  EXPECT_EQ(SendMessageW(main, WM_GETICON, ICON_BIG, 0), 0);
  EXPECT_EQ(SendMessageW(main, WM_GETICON, ICON_SMALL, 0), 0);
  EXPECT_NE(SendMessageW(about, WM_GETICON, ICON_BIG, 0), 0);
  EXPECT_NE(SendMessageW(about, WM_GETICON, ICON_SMALL, 0), 0);
  DestroyWindow(main);
  DestroyWindow(about);
}

}  // namespace
