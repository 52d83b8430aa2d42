// A form's face: its controls drawn into a memory bitmap and copied to the
// screen in one go, with the system's colours in high contrast; and its
// layout at a DPI, the labels measured in its font.
#include "form_win32.h"
#include "platform/form_backend.h"
#include "resources/resource.h"

namespace platform {

using win32::GdiObject;

namespace {

COLORREF Resolve(Color color) {
  return (color & 0x80000000u) != 0 ? GetSysColor(static_cast<int>(color & 0xFF)) : color;
}

UINT LabelFormat(const ControlDesign& c) {
  UINT format = DT_NOPREFIX | (c.alignment == Alignment::Center ? DT_CENTER : DT_LEFT);
  return format | (c.wordWrap ? DT_WORDBREAK : DT_SINGLELINE);
}

SIZE BitmapSize(HBITMAP bitmap) {
  BITMAP info{};
  GetObjectW(bitmap, sizeof info, &info);
  return {info.bmWidth, info.bmHeight};
}

// Draws a picture at its own size at 96 DPI, scaled with the layout otherwise.
void DrawPicture(HDC target, HBITMAP bitmap, int x, int y, int width, int height) {
  HDC source = CreateCompatibleDC(target);
  HGDIOBJ old = SelectObject(source, bitmap);
  SIZE size = BitmapSize(bitmap);
  if (size.cx == width && size.cy == height) {
    BitBlt(target, x, y, width, height, source, 0, 0, SRCCOPY);
  } else {
    SetStretchBltMode(target, COLORONCOLOR);
    StretchBlt(target, x, y, width, height, source, 0, 0, size.cx, size.cy, SRCCOPY);
  }
  SelectObject(source, old);
  DeleteDC(source);
}

// The caption with its access key marked for DrawText, other ampersands kept.
std::wstring WithAccessKey(const std::wstring& caption, int index) {
  std::wstring text;
  for (std::size_t i = 0; i < caption.size(); ++i) {
    if (static_cast<int>(i) == index) text += L'&';
    text += caption[i];
    if (caption[i] == L'&') text += L'&';
  }
  return text;
}

// The close and minimise glyphs as lines, for high contrast: a frame, and a
// cross or a bar, laid out on the glyph's 12-pixel grid.
void DrawGlyphLines(HDC dc, const RECT& r, int picture, COLORREF color) {
  GdiObject<HBRUSH> brush(CreateSolidBrush(color));
  FrameRect(dc, &r, brush.get());
  int width = r.right - r.left;
  auto x = [&](int grid) { return r.left + grid * width / 12; };
  auto y = [&](int grid) { return r.top + grid * (r.bottom - r.top) / 12; };
  GdiObject<HPEN> pen(CreatePen(PS_SOLID, width >= 24 ? width / 12 : 1, color));
  HGDIOBJ old = SelectObject(dc, pen.get());
  if (picture == IDB_CLOSE) {
    MoveToEx(dc, x(3), y(3), nullptr);
    LineTo(dc, x(9), y(9));
    MoveToEx(dc, x(8), y(3), nullptr);
    LineTo(dc, x(2), y(9));
  } else {
    MoveToEx(dc, x(3), y(9), nullptr);
    LineTo(dc, x(9), y(9));
  }
  SelectObject(dc, old);
}

}  // namespace

// Control rectangles, the font at its point size and the auto-sized labels
// measured in it. The pictures are stretched to their rectangles as they are
// painted.
void LayOut(Form& form, HWND window, int dpi) {
  const auto& design = form.design();
  form.LayOut(dpi);
  NativeForm& native = g_native.at(window);
  native.font = GdiObject<HFONT>(CreateFontW(-MulDiv(825, dpi, 7200), 0, 0, 0, FW_NORMAL, FALSE, FALSE,
                                             FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                                             CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                             DEFAULT_PITCH | FF_DONTCARE, L"Verdana"));
  HDC dc = GetDC(window);
  HGDIOBJ oldFont = SelectObject(dc, native.font.get());
  for (std::size_t i = 0; i < design.controls.size(); ++i) {
    const auto& c = design.controls[i];
    if (c.kind != ControlKind::Label || !c.autoSize) continue;
    RECT r{0, 0, 0, 0};
    DrawTextW(dc, c.caption.c_str(), static_cast<int>(c.caption.size()), &r,
              DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    form.SetAutoSize(static_cast<int>(i), r.right, r.bottom);
  }
  SelectObject(dc, oldFont);
  ReleaseDC(window, dc);
}

void win32::PaintForm(Form& form, HDC target, const RECT& client, bool highContrast) {
  const NativeForm& native = g_native.at(Hwnd(form));
  const auto& design = form.design();
  const auto& controls = form.controls();
  int width = client.right - client.left;
  int height = client.bottom - client.top;
  bool hasFocus = GetFocus() == Hwnd(form);
  int focus = hasFocus ? form.FocusedControl() : Surface;
  int focusShape = focus != Surface ? form.ButtonShape(focus) : Surface;
  // High contrast: a button is lit while hovered (its rectangle has left the
  // plain white) or focused.
  auto lit = [&](int shape) {
    if (shape == Surface) return false;
    Color fill = controls[static_cast<std::size_t>(shape)].color;
    return shape == focusShape || (fill != 0xFFFFFF && fill != SystemWindowBackground);
  };
  COLORREF text = GetSysColor(COLOR_WINDOWTEXT);

  HDC memory = CreateCompatibleDC(target);
  GdiObject<HBITMAP> canvas(CreateCompatibleBitmap(target, width, height));
  HGDIOBJ oldBitmap = SelectObject(memory, canvas.get());

  if (highContrast) {
    FillRect(memory, &client, GetSysColorBrush(COLOR_WINDOW));
    FrameRect(memory, &client, GetSysColorBrush(COLOR_WINDOWTEXT));
  } else {
    GdiObject<HBRUSH> back(CreateSolidBrush(Resolve(design.backColor)));
    FillRect(memory, &client, back.get());
    if (native.picture.get() != nullptr) {
      DrawPicture(memory, native.picture.get(), 0, 0, TwipsToPixels(design.width, form.dpi()),
                  TwipsToPixels(design.height, form.dpi()));
    }
  }

  HGDIOBJ oldFont = SelectObject(memory, native.font.get());
  SetBkMode(memory, TRANSPARENT);
  for (int i = static_cast<int>(controls.size()) - 1; i >= 0; --i) {  // back to front
    const auto& c = design.controls[static_cast<std::size_t>(i)];
    const auto& state = controls[static_cast<std::size_t>(i)];
    RECT r{state.rect.left, state.rect.top, state.rect.right, state.rect.bottom};
    switch (c.kind) {
      case ControlKind::Shape: {
        if (highContrast) {
          FillRect(memory, &r, GetSysColorBrush(lit(i) ? COLOR_HIGHLIGHT : COLOR_WINDOW));
          FrameRect(memory, &r, GetSysColorBrush(COLOR_WINDOWTEXT));
          break;
        }
        GdiObject<HBRUSH> fill(CreateSolidBrush(Resolve(state.color)));
        FillRect(memory, &r, fill.get());
        FrameRect(memory, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        break;
      }
      case ControlKind::Image: {
        auto image = native.images.find(i);
        if (image == native.images.end()) break;
        if (highContrast)
          DrawGlyphLines(memory, r, c.picture, text);
        else
          DrawPicture(memory, image->second.get(), r.left, r.top, r.right - r.left, r.bottom - r.top);
        break;
      }
      case ControlKind::Label: {
        if (highContrast)
          SetTextColor(memory, lit(form.ButtonShape(i)) ? GetSysColor(COLOR_HIGHLIGHTTEXT) : text);
        else
          SetTextColor(memory, Resolve(state.color));
        if (form.ShowAccessKeys() && c.accessKey >= 0) {
          std::wstring marked = WithAccessKey(state.caption, c.accessKey);
          DrawTextW(memory, marked.c_str(), static_cast<int>(marked.size()), &r,
                    LabelFormat(c) & ~static_cast<UINT>(DT_NOPREFIX));
        } else {
          DrawTextW(memory, state.caption.c_str(), static_cast<int>(state.caption.size()), &r,
                    LabelFormat(c));
        }
        break;
      }
    }
  }
  SelectObject(memory, oldFont);

  if (focus != Surface && form.ShowFocusCues()) {
    PixelRect b = form.ButtonRect(focus);
    RECT r{b.left + 1, b.top + 1, b.right - 1, b.bottom - 1};  // inside the outline
    SetTextColor(memory, 0x000000);
    SetBkColor(memory, 0xFFFFFF);
    DrawFocusRect(memory, &r);
  }

  BitBlt(target, 0, 0, width, height, memory, 0, 0, SRCCOPY);
  SelectObject(memory, oldBitmap);
  DeleteDC(memory);
}

bool backend::IsHighContrast() {
  HIGHCONTRASTW contrast{};
  contrast.cbSize = sizeof contrast;
  return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof contrast, &contrast, 0) &&
         (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

}  // namespace platform
