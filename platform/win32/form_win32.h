// What the Win32 form runtime shares between its files.
#pragma once

#include <map>

#include "platform/form.h"
#include "win32.h"

namespace platform::win32 {

// Posted by the accessible object to press a control (wParam) on the
// window's own thread, outside the client's call.
inline constexpr UINT WmAccessiblePress = WM_APP + 1;

// Draws the whole face of a form; in high contrast with the system colours,
// without its pictures.
void PaintForm(Form& form, HDC target, const RECT& client, bool highContrast);

// Answers WM_GETOBJECT for the client area: 0 when oleacc.dll is missing.
LRESULT AnswerGetObject(HWND window, WPARAM wParam);
// Tells accessibility clients that the focus moved (child id, 0 for the window).
void NotifyFocus(HWND window, long childId);

}  // namespace platform::win32

namespace platform {

// What a live form's window holds besides the portable state.
struct NativeForm {
  win32::GdiObject<HFONT> font;
  win32::GdiObject<HBITMAP> picture;
  std::map<int, win32::GdiObject<HBITMAP>> images;  // by control index
};
// Filled as a window is created, emptied as it is destroyed (form_win32.cpp).
extern std::map<HWND, NativeForm> g_native;

inline HINSTANCE Instance() { return GetModuleHandleW(nullptr); }
inline HWND Hwnd(const Form& form) { return reinterpret_cast<HWND>(form.hWnd()); }

// Sent by a second copy of the program to the first copy's window.
UINT BringBackMessage();
// Keyboard cues follow the system's convention: the window asks for them to
// show, and the system answers with WM_UPDATEUISTATE.
void ShowKeyboardCuesOf(HWND window, WORD cues);

// The forms' window procedure (form_proc_win32.cpp).
LRESULT CALLBACK FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Lays the form out at `dpi` for its window, in the font of that size
// (form_paint_win32.cpp).
void LayOut(Form& form, HWND window, int dpi);

}  // namespace platform
