// The library's fate: deleted, or scheduled for deletion at the next restart
// while a program still holds it.
#pragma once

#include <string>

// The library's path in the registered plug-in folder.
std::wstring LibraryFile();

// Deletes the library or, while a program still holds it open or has it
// loaded, schedules its deletion for the next restart. A read-only library
// loses that attribute first, as "del /f" does, and gets it back where it
// stays. The outcome as the copy with raised rights ends with it: 0 deleted,
// 3010 scheduled, 1605 not there, else the system error.
unsigned long DeleteLibrary(const std::wstring& path);

// True when the library's deletion at the next restart is scheduled already
// (PendingFileRenameOperations names it), by this program or another.
bool IsScheduledForDeletion(const std::wstring& path);

// How the log and the preview end a deletion that waits for the restart.
inline constexpr wchar_t AtRestart[] = L" to be deleted when Windows restarts";
