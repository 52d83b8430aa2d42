// Forms as real windows: a frameless popup per form, its class, creation,
// showing and minimising, keyboard cues and the message loop.
#include "form_win32.h"
#include "platform/form_backend.h"

namespace platform {

using win32::GdiObject;

std::map<HWND, NativeForm> g_native;

// These two are the window procedure's too (form_win32.h).
UINT BringBackMessage() {
  static const UINT message = ::RegisterWindowMessageA("MSN Scribbit Removal: bring back");
  return message;
}

void ShowKeyboardCuesOf(HWND window, WORD cues) {
  SendMessageW(window, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, cues), 0);
}

namespace {

constexpr wchar_t FormClass[] = L"ScribbitRemovalForm";

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

// The DPI Windows gives the window: its monitor's for a per-monitor aware
// program on Windows 10 1607 and later, else the system's.
int WindowDpi(HWND window, int fallback) {
  static const auto dpiForWindow =
      win32::LookUp<UINT(WINAPI*)(HWND)>(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow");
  UINT dpi = dpiForWindow != nullptr ? dpiForWindow(window) : 0;
  return dpi > 0 ? static_cast<int>(dpi) : fallback;
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
