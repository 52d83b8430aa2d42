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

}  // namespace platform::backend

namespace platform {
// Every form created, oldest first. A form outlives its window, so that a
// handler that unloads its own form can run on to its end; the few forms a
// run creates are freed at exit.
std::vector<std::unique_ptr<Form>>& Forms();
int LoadedFormCount();
}  // namespace platform
