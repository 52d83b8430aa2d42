// The About window.
#pragma once

#include "platform/form.h"

namespace frmAbout {

// Control indices, front to back.
enum Control { Label3, Image3, Label2, Label4, Image2, Label1, Shape1 };

// Creates the About window (running its load step) and shows it modally;
// returns once it is gone.
void ShowModal();
// The loaded About window, or null.
platform::Form* Instance();
const platform::FormDesign& Design();

}  // namespace frmAbout
