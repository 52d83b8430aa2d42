// Forms as real windows: a frameless popup per form, its controls drawn into a
// memory bitmap and copied to the screen in one go.
#include <map>

#include "platform/form_backend.h"
#include "resources/resource.h"
#include "win32.h"

namespace platform {

using win32::GdiObject;

namespace {

constexpr wchar_t FormClass[] = L"ScribbitRemovalForm";

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

void Paint(Form& form, HDC target, const RECT& client) {
  const NativeForm& native = g_native.at(Hwnd(form));
  const auto& design = form.design();
  const auto& controls = form.controls();
  int width = client.right - client.left;
  int height = client.bottom - client.top;

  HDC memory = CreateCompatibleDC(target);
  GdiObject<HBITMAP> canvas(CreateCompatibleBitmap(target, width, height));
  HGDIOBJ oldBitmap = SelectObject(memory, canvas.get());

  GdiObject<HBRUSH> back(CreateSolidBrush(Resolve(design.backColor)));
  FillRect(memory, &client, back.get());
  if (native.picture.get() != nullptr) {
    DrawPicture(memory, native.picture.get(), 0, 0, TwipsToPixels(design.width, form.dpi()),
                TwipsToPixels(design.height, form.dpi()));
  }

  HGDIOBJ oldFont = SelectObject(memory, native.font.get());
  SetBkMode(memory, TRANSPARENT);
  for (int i = static_cast<int>(controls.size()) - 1; i >= 0; --i) {  // back to front
    const auto& c = design.controls[static_cast<std::size_t>(i)];
    const auto& state = controls[static_cast<std::size_t>(i)];
    RECT r{state.rect.left, state.rect.top, state.rect.right, state.rect.bottom};
    switch (c.kind) {
      case ControlKind::Shape: {
        GdiObject<HBRUSH> fill(CreateSolidBrush(Resolve(state.color)));
        FillRect(memory, &r, fill.get());
        FrameRect(memory, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        break;
      }
      case ControlKind::Image: {
        auto image = native.images.find(i);
        if (image != native.images.end())
          DrawPicture(memory, image->second.get(), r.left, r.top, r.right - r.left, r.bottom - r.top);
        break;
      }
      case ControlKind::Label:
        SetTextColor(memory, Resolve(state.color));
        DrawTextW(memory, state.caption.c_str(), static_cast<int>(state.caption.size()), &r,
                  LabelFormat(c));
        break;
    }
  }
  SelectObject(memory, oldFont);

  BitBlt(target, 0, 0, width, height, memory, 0, 0, SRCCOPY);
  SelectObject(memory, oldBitmap);
  DeleteDC(memory);
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
      RunEvent([&] { Paint(*form, dc, client); });
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
      if (GetCapture() == window) ReleaseCapture();
      RunEvent([&] { form->OnButtonUp(x, y, true); });
      return 0;
    case WM_DESTROY:
      g_native.erase(window);
      form->OnDestroyed();
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      return 0;
    default:
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
  form.LayOut(dpi);
  int width = TwipsToPixels(design.width, dpi);
  int height = TwipsToPixels(design.height, dpi);
  int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  DWORD exStyle = win32::g_taskHidden ? WS_EX_TOOLWINDOW : 0;
  HWND window = CreateWindowExW(exStyle, FormClass, design.caption.c_str(), WS_POPUP | WS_MINIMIZEBOX,
                                x, y, width, height, nullptr, nullptr, Instance(), &form);
  if (window == nullptr) {
    DWORD code = GetLastError();
    throw Failure(code, DescribeError(code));
  }

  NativeForm& native = g_native[window];
  native = NativeForm{};
  native.font = GdiObject<HFONT>(CreateFontW(-MulDiv(825, dpi, 7200), 0, 0, 0, FW_NORMAL, FALSE, FALSE,
                                             FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                                             CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                             DEFAULT_PITCH | FF_DONTCARE, L"Verdana"));
  if (design.picture != 0) native.picture = GdiObject<HBITMAP>(LoadBitmapResource(design.picture));
  HDC dc = GetDC(window);
  HGDIOBJ oldFont = SelectObject(dc, native.font.get());
  for (std::size_t i = 0; i < design.controls.size(); ++i) {
    const auto& c = design.controls[i];
    if (c.kind == ControlKind::Image && c.picture != 0)
      native.images.emplace(static_cast<int>(i), GdiObject<HBITMAP>(LoadBitmapResource(c.picture)));
    if (c.kind == ControlKind::Label && c.autoSize) {
      RECT r{0, 0, 0, 0};
      DrawTextW(dc, c.caption.c_str(), static_cast<int>(c.caption.size()), &r,
                DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
      form.SetAutoSize(static_cast<int>(i), r.right, r.bottom);
    }
  }
  SelectObject(dc, oldFont);
  ReleaseDC(window, dc);

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

void ShowForm(Form& form) {
  HWND window = Hwnd(form);
  ShowWindow(window, SW_SHOW);
  SetForegroundWindow(window);
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

}  // namespace backend

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
