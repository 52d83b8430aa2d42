// Forms as real windows: a frameless popup per form, its controls drawn into a
// memory bitmap and copied to the screen in one go.
#include <map>

#include "form_win32.h"
#include "platform/form_backend.h"
#include "resources/resource.h"

namespace platform {

using win32::GdiObject;

namespace {

constexpr wchar_t FormClass[] = L"ScribbitRemovalForm";
// Windows 8.1 and later: the window's DPI changed (another monitor, another
// scale); the headers name it only for Windows 8.1 builds.
constexpr UINT WmDpiChanged = 0x02E0;
// Posted to a window minimised without a word to it.
constexpr UINT WmMinimizedAside = WM_APP + 2;
bool g_releasing = false;  // the program is releasing the mouse capture itself

// Sent by a second copy of the program to the first copy's window.
UINT BringBackMessage() {
  static const UINT message = ::RegisterWindowMessageA("MSN Scribbit Removal: bring back");
  return message;
}

// What a live form's window holds besides the portable state.
struct NativeForm {
  GdiObject<HFONT> font;
  GdiObject<HBITMAP> picture;
  std::map<int, GdiObject<HBITMAP>> images;  // by control index
};
std::map<HWND, NativeForm> g_native;

HINSTANCE Instance() { return GetModuleHandleW(nullptr); }
HWND Hwnd(const Form& form) { return reinterpret_cast<HWND>(form.hWnd()); }

COLORREF Resolve(Color color) {
  return (color & 0x80000000u) != 0 ? GetSysColor(static_cast<int>(color & 0xFF)) : color;
}

HBITMAP LoadBitmapResource(int id) {
  // A device bitmap: the window picture is stored run-length encoded, which
  // DIB sections cannot hold.
  return static_cast<HBITMAP>(LoadImageW(Instance(), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, 0));
}

int ScreenDpi() {
  HDC screen = GetDC(nullptr);
  int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
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

// The DPI Windows gives the window: its monitor's for a per-monitor aware
// program on Windows 10 1607 and later, else the system's.
int WindowDpi(HWND window, int fallback) {
  static const auto dpiForWindow =
      win32::LookUp<UINT(WINAPI*)(HWND)>(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow");
  UINT dpi = dpiForWindow != nullptr ? dpiForWindow(window) : 0;
  return dpi > 0 ? static_cast<int>(dpi) : fallback;
}

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

}  // namespace

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

namespace {

// Keyboard cues follow the system's convention: the window asks for them to
// show, and the system answers with WM_UPDATEUISTATE.
void ShowKeyboardCuesOf(HWND window, WORD cues) {
  SendMessageW(window, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, cues), 0);
}

bool KeyOf(WPARAM virtualKey, Key& key) {
  switch (virtualKey) {
    case VK_TAB: key = Key::Tab; return true;
    case VK_RETURN: key = Key::Enter; return true;
    case VK_SPACE: key = Key::Space; return true;
    case VK_ESCAPE: key = Key::Escape; return true;
    default: return false;
  }
}

void InvalidateFocus(Form& form) {
  if (form.FocusedControl() != Surface)
    backend::InvalidateControl(form, form.ButtonRect(form.FocusedControl()));
}

LRESULT CALLBACK FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* form = reinterpret_cast<Form*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (form == nullptr) return DefWindowProcW(window, message, wParam, lParam);

  int x = static_cast<short>(LOWORD(lParam));
  int y = static_cast<short>(HIWORD(lParam));
  switch (message) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      RECT client;
      GetClientRect(window, &client);
      RunEvent([&] { win32::PaintForm(*form, dc, client, form->HighContrast()); });
      EndPaint(window, &paint);
      return 0;
    }
    case WM_SETCURSOR:
      if (LOWORD(lParam) == HTCLIENT) {
        POINT point;
        GetCursorPos(&point);
        ScreenToClient(window, &point);
        int control = form->ControlAt(point.x, point.y);
        bool hand = control != Surface &&
                    form->design().controls[static_cast<std::size_t>(control)].handPointer;
        static HCURSOR handPointer = LoadCursorW(Instance(), MAKEINTRESOURCEW(IDC_HAND_POINTER));
        SetCursor(hand && handPointer != nullptr ? handPointer : LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)));
        return TRUE;
      }
      break;
    case WM_MOUSEMOVE:
      RunEvent([&] { form->OnMouseMove(x, y); });
      return 0;
    case WM_LBUTTONDOWN:
      SetCapture(window);
      RunEvent([&] { form->OnButtonDown(x, y, true); });
      return 0;
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      RunEvent([&] { form->OnButtonDown(x, y, false); });
      return 0;
    case WM_LBUTTONUP:
      if (GetCapture() == window) {
        g_releasing = true;  // our own release cancels nothing
        ReleaseCapture();
        g_releasing = false;
      }
      RunEvent([&] { form->OnButtonUp(x, y, true); });
      return 0;
    // The capture went elsewhere (a window popped up, Alt+Tab while the
    // button was held): the release will not be this press's.
    case WM_CAPTURECHANGED:
      if (!g_releasing) form->OnCaptureLost();
      return 0;
    case WM_CANCELMODE:
      form->OnCaptureLost();
      break;  // the default handling releases the capture
    // A minimise from outside (Win+M, another program) takes the glyph's way,
    // which gives the window a taskbar button to come back by, or is refused.
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_MINIMIZE) {
        RunEvent([&] { form->OnMinimizeRequest(); });
        return 0;
      }
      break;
    case WM_SIZE:
      // Minimised some other way (ShowWindow from another program): put
      // right once the minimise has run its course.
      if (wParam == SIZE_MINIMIZED && (GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) != 0)
        PostMessageW(window, WmMinimizedAside, 0, 0);
      break;
    case WmMinimizedAside:
      if (IsIconic(window) && (GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) != 0) {
        RunEvent([&] { form->OnMinimizeRequest(); });
        if (IsWindow(window) && IsIconic(window) && (GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) != 0)
          ShowWindow(window, SW_RESTORE);
      }
      return 0;
    case WmDpiChanged: {
      RECT suggested = *reinterpret_cast<const RECT*>(lParam);
      RunEvent([&] { form->OnDpiChanged(HIWORD(wParam)); });
      SetWindowPos(window, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                   suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    // Keys reach a window only while it shows; a hidden one (the main window
    // during a removal) may still have some queued.
    case WM_KEYDOWN: {
      Key key;
      if (!KeyOf(wParam, key) || (lParam & 0x40000000) != 0 || !IsWindowVisible(window)) return 0;
      if (key == Key::Tab) ShowKeyboardCuesOf(window, UISF_HIDEFOCUS | UISF_HIDEACCEL);
      bool shift = GetKeyState(VK_SHIFT) < 0;
      RunEvent([&] { form->OnKey(key, shift); });
      return 0;
    }
    case WM_SYSKEYDOWN:
      if (wParam == VK_MENU) ShowKeyboardCuesOf(window, UISF_HIDEACCEL);
      break;  // the system turns Alt+F4 into WM_CLOSE
    case WM_SYSCHAR: {
      bool known = false;
      if (IsWindowVisible(window)) RunEvent([&] { known = form->OnAccessKey(static_cast<wchar_t>(wParam)); });
      if (known) return 0;
      break;
    }
    case WM_CLOSE:
      RunEvent([&] { form->OnCloseRequest(); });
      return 0;
    case WM_CHANGEUISTATE:
      // A top-level window passes the change on to itself, as the default
      // handling does; done here, as Wine 8's default handling does not.
      SendMessageW(window, WM_UPDATEUISTATE, wParam, 0);
      return 0;
    case WM_UPDATEUISTATE: {
      LRESULT result = DefWindowProcW(window, message, wParam, lParam);
      WORD action = LOWORD(wParam), cues = HIWORD(wParam);
      if (action == UIS_SET || action == UIS_CLEAR) {
        bool show = action == UIS_CLEAR;
        bool focusCues = (cues & UISF_HIDEFOCUS) != 0 ? show : form->ShowFocusCues();
        bool accessKeys = (cues & UISF_HIDEACCEL) != 0 ? show : form->ShowAccessKeys();
        RunEvent([&] { form->OnKeyboardCues(focusCues, accessKeys); });
      }
      return result;
    }
    case WM_SETFOCUS:
      InvalidateFocus(*form);
      if (form->FocusedControl() != Surface) backend::NotifyFocus(*form, form->FocusedControl());
      break;
    case WM_KILLFOCUS:
      InvalidateFocus(*form);
      break;
    case WM_SYSCOLORCHANGE:
    case WM_SETTINGCHANGE:
      RunEvent([&] { form->OnSettingChange(); });
      break;
    case WM_GETOBJECT:
      if (static_cast<DWORD>(lParam) == static_cast<DWORD>(OBJID_CLIENT)) {
        LRESULT result = win32::AnswerGetObject(window, wParam);
        if (result != 0) return result;
      }
      break;
    case win32::WmAccessiblePress:
      if (IsWindowVisible(window)) RunEvent([&] { form->OnDefaultAction(static_cast<int>(wParam)); });
      return 0;
    case WM_DESTROY:
      g_native.erase(window);
      form->OnDestroyed();
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      return 0;
    default:
      if (message == BringBackMessage() && message != 0) {
        // A second copy was started: the person wants this one back.
        if (IsIconic(window)) ShowWindow(window, SW_RESTORE);
        SetForegroundWindow(window);
        return 1;
      }
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

void RegisterFormClass() {
  static bool registered = false;
  if (registered) return;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = FormProc;
  wc.hInstance = Instance();
  wc.lpszClassName = FormClass;
  if (RegisterClassExW(&wc) == 0) {
    DWORD code = GetLastError();
    throw Failure(code, DescribeError(code));
  }
  registered = true;
}

}  // namespace

namespace backend {

WindowHandle CreateFormWindow(Form& form) {
  RegisterFormClass();
  const auto& design = form.design();
  int dpi = ScreenDpi();
  int width = TwipsToPixels(design.width, dpi);
  int height = TwipsToPixels(design.height, dpi);
  DWORD exStyle = win32::g_taskHidden ? WS_EX_TOOLWINDOW : 0;
  // A window that has no minimise glyph cannot be minimised at all.
  DWORD style = WS_POPUP | (design.minimizeControl != Surface ? WS_MINIMIZEBOX : 0);
  HWND window = CreateWindowExW(exStyle, FormClass, design.caption.c_str(), style, 0, 0, width,
                                height, nullptr, nullptr, Instance(), &form);
  if (window == nullptr) {
    DWORD code = GetLastError();
    throw Failure(code, DescribeError(code));
  }

  NativeForm& native = g_native[window];
  native = NativeForm{};
  if (design.picture != 0) native.picture = GdiObject<HBITMAP>(LoadBitmapResource(design.picture));
  for (std::size_t i = 0; i < design.controls.size(); ++i) {
    const auto& c = design.controls[i];
    if (c.kind == ControlKind::Image && c.picture != 0)
      native.images.emplace(static_cast<int>(i), GdiObject<HBITMAP>(LoadBitmapResource(c.picture)));
  }
  // Centred on the screen, at the DPI of the monitor it is on (which a
  // per-monitor aware program sees apart from the system's).
  dpi = WindowDpi(window, dpi);
  LayOut(form, window, dpi);
  width = TwipsToPixels(design.width, dpi);
  height = TwipsToPixels(design.height, dpi);
  SetWindowPos(window, nullptr, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
               (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height,
               SWP_NOZORDER | SWP_NOACTIVATE);
  // No focus rectangle or access key underline until the keyboard is used.
  SendMessageW(window, WM_CHANGEUISTATE, MAKEWPARAM(UIS_SET, UISF_HIDEFOCUS | UISF_HIDEACCEL), 0);

  if (design.icon != 0) {
    HANDLE big = LoadImageW(Instance(), MAKEINTRESOURCEW(design.icon), IMAGE_ICON,
                            GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), LR_SHARED);
    HANDLE small = LoadImageW(Instance(), MAKEINTRESOURCEW(design.icon), IMAGE_ICON,
                              GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_SHARED);
    SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
  }
  return reinterpret_cast<WindowHandle>(window);
}

void LayOutForm(Form& form, int dpi) { LayOut(form, Hwnd(form), dpi); }

bool KeyboardCuesAlwaysShown() {
  BOOL on = FALSE;
  return SystemParametersInfoW(SPI_GETKEYBOARDCUES, 0, &on, 0) && on;
}

void ShowKeyboardCues(Form& form) { ShowKeyboardCuesOf(Hwnd(form), UISF_HIDEFOCUS | UISF_HIDEACCEL); }

PressPlace PlaceOfPress(Form& form, int x, int y) {
  POINT point{x, y};
  ClientToScreen(Hwnd(form), &point);
  return {static_cast<std::uint32_t>(GetMessageTime()), point.x, point.y};
}

DoubleClickLimits DoubleClick() {
  return {GetDoubleClickTime(), GetSystemMetrics(SM_CXDOUBLECLK), GetSystemMetrics(SM_CYDOUBLECLK)};
}

void ShowForm(Form& form) {
  HWND window = Hwnd(form);
  ShowWindow(window, SW_SHOW);
  SetForegroundWindow(window);
  SetFocus(window);  // a keyboard user starts here
  UpdateWindow(window);
}

void ShowFormModal(Form& form) {
  ShowForm(form);
  HWND window = Hwnd(form);
  MSG message;
  while (IsWindow(window)) {
    BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0) {  // hand the quit on to the outer loop
      PostQuitMessage(static_cast<int>(message.wParam));
      break;
    }
    if (got == -1) break;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

void HideForm(Form& form) { ShowWindow(Hwnd(form), SW_HIDE); }

void DestroyForm(Form& form) { DestroyWindow(Hwnd(form)); }

void MinimizeForm(Form& form) {
  // A window kept out of the taskbar could not be brought back once minimised:
  // it gets a taskbar button from now on, to be restored from.
  HWND window = Hwnd(form);
  LONG_PTR style = GetWindowLongPtrW(window, GWL_EXSTYLE);
  if ((style & WS_EX_TOOLWINDOW) != 0) {
    ShowWindow(window, SW_HIDE);
    SetWindowLongPtrW(window, GWL_EXSTYLE, (style & ~WS_EX_TOOLWINDOW) | WS_EX_APPWINDOW);
  }
  ShowWindow(window, SW_MINIMIZE);
}

void InvalidateControl(Form& form, const PixelRect& rect) {
  RECT r{rect.left, rect.top, rect.right, rect.bottom};
  InvalidateRect(Hwnd(form), &r, FALSE);
}

void InvalidateForm(Form& form) { InvalidateRect(Hwnd(form), nullptr, FALSE); }

void NotifyFocus(Form& form, int control) { win32::NotifyFocus(Hwnd(form), form.AccessibleChildId(control)); }

}  // namespace backend

void BringBackRunningCopy() {
  DWORD self = GetCurrentProcessId(), owner = 0;
  HWND window = nullptr;
  while ((window = FindWindowExW(nullptr, window, FormClass, nullptr)) != nullptr) {
    GetWindowThreadProcessId(window, &owner);
    if (owner != self && IsWindowVisible(window)) break;  // hidden: a removal runs there
  }
  if (window == nullptr) return;
  // The person started this copy, so it may take the foreground; it lets the
  // first copy take it instead, and waits until it has.
  AllowSetForegroundWindow(owner);
  DWORD_PTR result = 0;
  ::SendMessageTimeoutA(window, BringBackMessage(), 0, 0, SMTO_ABORTIFHUNG, 5000, &result);
}

void RunMessageLoop() {
  MSG message;
  while (LoadedFormCount() > 0) {
    BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0 || got == -1) break;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

}  // namespace platform
