// State shared by the windows and the removal, alive for the whole process.
#pragma once

#include <array>
#include <string>

#include "platform/platform.h"

// Where the pieces to remove are installed, as read from the registry when the
// main window loads. A value that cannot be read is the empty text.
struct InstallLocations {
  std::wstring PluginDir;     // Messenger Plus! plug-in directory
  std::wstring MessengerDir;  // MSN Messenger installation directory
  std::array<std::wstring, 2> DisplayNames;  // uninstall entries' display names
};
inline constexpr int InkName = 0;
inline constexpr int InfoPenName = 1;

extern InstallLocations InstallInfo;
// Set once a process scan has run to its end.
extern bool ProcessKilled;

// Fill of a hovered button rectangle.
inline constexpr platform::Color HoverColor = 14661525;  // &HDFB795

// The program's name, as titles carry it, and the style of a message box
// that reports an error (OK button, error icon).
inline constexpr wchar_t ProgramTitle[] = L"MSN Scribbit Removal";
inline constexpr int ErrorStyle = 16;

// A whole number as decimal text, with a minus sign when negative.
std::wstring DecimalText(long long number);
