// Both windows' designs realised by the real form runtime in this process:
// what only the owning process can see (icons, the painted face).
#include "forms/frmAbout.h"
#include "forms/frmMain.h"
#include "platform/win32/form_win32.h"
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

// Another monitor, another scale: laid out again, at the place Windows suggests.
TEST(Forms, ADpiChangeLaysTheWindowOutAtTheSuggestedPlace) {
  platform::Form& form = platform::Form::Load(frmMain::Design(), {});
  HWND window = reinterpret_cast<HWND>(form.hWnd());
  RECT suggested{100, 50, 495, 229}, now{};
  SendMessageW(window, 0x02E0, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
  GetWindowRect(window, &now);
  EXPECT_TRUE(EqualRect(&now, &suggested)) << now.left << "," << now.top << " " << now.right << "," << now.bottom;
  EXPECT_EQ(form.ControlAt(383, 150), frmMain::Label2);
  DestroyWindow(window);
}

// Wine cannot switch high contrast on, so the painting routine is handed it:
// system colours only, no picture, glyphs as lines, the hovered and the
// focused button in the highlight colour. Handed "off", the picture is back.
TEST(Forms, HighContrastPaintsWithTheSystemColours) {
  platform::Form& form = platform::Form::Load(frmMain::Design(), {});
  form.Show();
  HWND window = reinterpret_cast<HWND>(form.hWnd());
  form.OnKeyboardCues(true, true);
  form.OnKey(platform::Key::Tab, false);                // "About" focused
  form.SetFillColor(frmMain::Shape1, 0xDFB795);        // "Remove" hovered
  ASSERT_EQ(GetFocus(), window);
  RECT client;
  GetClientRect(window, &client);
  HDC screen = GetDC(window);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP canvas = CreateCompatibleBitmap(screen, client.right, client.bottom);
  HGDIOBJ old = SelectObject(memory, canvas);
  auto count = [&](const platform::PixelRect& r, COLORREF colour) {
    int n = 0;
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x) n += GetPixel(memory, x, y) == colour;
    return n;
  };
  const COLORREF face = GetSysColor(COLOR_WINDOW), text = GetSysColor(COLOR_WINDOWTEXT),
                 high = GetSysColor(COLOR_HIGHLIGHT), highText = GetSysColor(COLOR_HIGHLIGHTTEXT),
                 strip = RGB(0x95, 0xBC, 0xDF);
  const platform::PixelRect whole{0, 0, client.right, client.bottom};

  platform::win32::PaintForm(form, memory, client, true);
  EXPECT_EQ(count(whole, strip), 0) << "no picture";
  struct Sample {
    int x, y;
    COLORREF colour;
    const char* what;
  } samples[] = {{4, 8, face, "title strip"},       {0, 0, text, "outline"},
                 {248, 2, text, "close glyph frame"}, {251, 5, text, "close glyph cross"},
                 {242, 8, face, "inside the minimise glyph"}, {236, 11, text, "minimise bar"},
                 {194, 98, high, "hovered Remove"},   {10, 98, high, "focused About"},
                 {192, 96, text, "button outline"},   {130, 92, face, "panel"}};
  for (const auto& s : samples)
    EXPECT_EQ(GetPixel(memory, s.x, s.y), s.colour) << s.what << " at (" << s.x << ", " << s.y << ")";
  EXPECT_GT(count(form.controls()[frmMain::Label2].rect, highText), 10) << "Remove's caption";
  EXPECT_GT(count(form.controls()[frmMain::Label4].rect, text), 200) << "the description";

  platform::win32::PaintForm(form, memory, client, false);
  EXPECT_EQ(GetPixel(memory, 4, 8), strip);
  EXPECT_EQ(GetPixel(memory, 194, 98), RGB(0x95, 0xB7, 0xDF));

  SelectObject(memory, old);
  DeleteObject(canvas);
  DeleteDC(memory);
  ReleaseDC(window, screen);
  DestroyWindow(window);
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
