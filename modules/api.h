// Version and rights probes, and the window effects of both windows.
#pragma once

#include "platform/form.h"
#include "platform/platform.h"

bool IsWinXP();
bool IsWin2000();
bool IsVistaOrLater();
// A full token of Vista and later ("Run as administrator", an elevated
// console), or LocalSystem: what Messenger must not inherit.
bool HasRaisedRights();
void MakeTopMost(platform::WindowHandle window, bool onTop);
// 0 applied; 1 alpha outside 0..255, nothing changed; 2 the system refused.
int SetTranslucency(platform::WindowHandle window, const short& alpha);
// Windows 2000 and XP: the window translucent (alpha 200), or opaque while
// high contrast is on, where text must be fully legible. Elsewhere nothing.
void ApplyTranslucency(platform::Form& form);
// Lets the system move a window without a caption bar while the left button
// is held; does nothing when it is not.
void DragWindow(const platform::Form& form);
