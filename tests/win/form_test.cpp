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

namespace {

// The pixels of a bitmap resource of this module, as 0xRRGGBB, top row first.
std::vector<std::vector<unsigned>> Pixels(int id, int& width, int& height) {
  HBITMAP bitmap = static_cast<HBITMAP>(
      LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, 0));
  EXPECT_NE(bitmap, nullptr) << "bitmap " << id;
  BITMAP info{};
  GetObjectW(bitmap, sizeof info, &info);
  width = info.bmWidth;
  height = info.bmHeight;
  BITMAPINFO request{};
  request.bmiHeader.biSize = sizeof request.bmiHeader;
  request.bmiHeader.biWidth = width;
  request.bmiHeader.biHeight = -height;  // top row first
  request.bmiHeader.biPlanes = 1;
  request.bmiHeader.biBitCount = 32;
  std::vector<unsigned> raw(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  HDC dc = GetDC(nullptr);
  GetDIBits(dc, bitmap, 0, static_cast<UINT>(height), raw.data(), &request, DIB_RGB_COLORS);
  ReleaseDC(nullptr, dc);
  DeleteObject(bitmap);
  std::vector<std::vector<unsigned>> rows(static_cast<std::size_t>(height));
  for (int y = 0; y < height; ++y)
    rows[static_cast<std::size_t>(y)].assign(raw.begin() + y * width, raw.begin() + (y + 1) * width);
  for (auto& row : rows)
    for (auto& p : row) p &= 0xFFFFFF;
  return rows;
}

TEST(Forms, TheWindowPictureAsTheProgramCarriesIt) {
  int width = 0, height = 0;
  auto p = Pixels(101, width, height);
  ASSERT_EQ(width, 263);
  ASSERT_EQ(height, 119);
  const unsigned black = 0x000000, blue = 0x95BCDF, white = 0xFFFFFF;
  struct Sample {
    int x, y;
    unsigned colour;
  } samples[] = {{0, 0, black},     {262, 118, black}, {131, 0, black},    {0, 60, black},
                 {1, 1, blue},      {100, 8, blue},    {1, 60, blue},      {130, 117, blue},
                 {261, 60, blue},   {3, 17, blue},     {5, 16, black},     {257, 16, black},
                 {3, 18, black},    {259, 113, black}, {5, 115, black},    {4, 17, black},
                 {258, 17, black},  {4, 114, black},   {258, 114, black},  {130, 60, white},
                 {4, 18, white},    {258, 113, white}};
  for (const auto& s : samples)
    EXPECT_EQ(p[static_cast<std::size_t>(s.y)][static_cast<std::size_t>(s.x)], s.colour)
        << "at (" << s.x << ", " << s.y << ")";
}

}  // namespace
