// What the Win32 form runtime shares between its files.
#pragma once

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
