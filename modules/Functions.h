// The removal engine.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

// Fills InstallInfo from the registry.
void ReadInstallInfo();

// Carries out the whole removal and ends the program; it never returns.
[[noreturn]] void RemovePlugin();

// The copy started with raised rights (/deletelibrary): deletes the library
// of the registered plug-in folder, or schedules it for the next restart, and
// ends with 0 deleted, 3010 scheduled, 1605 not there or the system error.
[[noreturn]] void DeleteLibraryElevated();

// The copy started with raised rights when the removal needs them
// (/removewithrights): carries out the removal from closing Messenger to the
// library, shows nothing, and ends with its outcome packed in the exit code.
[[noreturn]] void RemoveWithRightsElevated();

// Changes nothing: reports what RemovePlugin would do here, then ends.
[[noreturn]] void PreviewRemoval();

// Terminates every process whose executable name ends with `target`, letter
// case aside. True when at least one process matched. Sets ProcessKilled once
// the scan has run to its end.
bool KillProcessByName(const std::wstring& target);

// True when `entryName` ends with `target`; both already in lower case.
bool NameMatches(const std::wstring& entryName, const std::wstring& target);

// The processes that KillProcessByName terminated, in order, held so that the
// wait for their exit cannot meet another process that was given a reused id.
extern std::vector<platform::HeldProcess> TerminatedProcesses;
