// The main window.
#pragma once

#include "platform/form.h"

namespace frmMain {

// Control indices, front to back.
enum Control { Label4, Label3, Shape2, Label2, Shape1, Image3, Label1, Image2, Image1 };

// Creates a main window from its initial design when none is loaded (running
// its load step) and shows it, not modally.
void Show();
// Hides the main window, which stays loaded.
void Hide();
// The loaded main window, or null.
platform::Form* Instance();
// The design every new main window starts from.
const platform::FormDesign& Design();

}  // namespace frmMain
