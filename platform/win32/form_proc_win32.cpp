// The form's window procedure: the system's messages turned into the portable
// form's events.
#include "form_win32.h"
#include "platform/form_backend.h"
#include "resources/resource.h"

namespace platform {

namespace {

// Windows 8.1 and later: the window's DPI changed (another monitor, another
// scale); the headers name it only for Windows 8.1 builds.
constexpr UINT WmDpiChanged = 0x02E0;
// Posted to a window minimised without a word to it.
constexpr UINT WmMinimizedAside = WM_APP + 2;
bool g_releasing = false;  // the program is releasing the mouse capture itself

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

}  // namespace

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

}  // namespace platform
