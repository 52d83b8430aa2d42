// What each platform implementation provides to the portable form runtime.
#pragma once

#include "form.h"

namespace platform::backend {

// Creates the form's window, hidden, and returns it. Lays out the form.
WindowHandle CreateFormWindow(Form& form);
void ShowForm(Form& form);
// Returns once the form's window is gone.
void ShowFormModal(Form& form);
void HideForm(Form& form);
void DestroyForm(Form& form);
void MinimizeForm(Form& form);
void InvalidateControl(Form& form, const PixelRect& rect);
void InvalidateForm(Form& form);
// The keyboard focus moved to a text button: tells accessibility clients.
void NotifyFocus(Form& form, int control);
// The system asks for a high-contrast display.
bool IsHighContrast();
// The system asks for focus rectangles and access keys shown from the start
// (the "always underline access keys" setting).
bool KeyboardCuesAlwaysShown();
void ShowKeyboardCues(Form& form);
// Lays the form out at `dpi`: control rectangles, font, auto-sized labels.
void LayOutForm(Form& form, int dpi);
// The screen point and time of the mouse press being handled, at (x, y) of
// the form's client area.
PressPlace PlaceOfPress(Form& form, int x, int y);
DoubleClickLimits DoubleClick();

}  // namespace platform::backend

namespace platform {
// Every form created, oldest first. A form outlives its window, so that a
// handler that unloads its own form can run on to its end; the few forms a
// run creates are freed at exit.
std::vector<std::unique_ptr<Form>>& Forms();
int LoadedFormCount();
// Every form's window gone and no click pending, as when the program starts:
// for the simulated machine's reset.
void ForgetForms();
}  // namespace platform
