// The decisions about rights: whether this token has raised rights, whether
// the removal needs rights it lacks and may ask for, and the copies of the
// program started with them.
#pragma once

#include <string>

#include "Functions.h"

bool IsVistaOrLater();
// A full token of Vista and later ("Run as administrator", an elevated
// console), or LocalSystem: what Messenger must not inherit.
bool HasRaisedRights();
// Whether the removal needs rights this token lacks, known before anything
// changes.
bool RemovalNeedsRights();
// Asks for administrator rights once, while the window is still in front,
// and has a copy started with them carry out the removal. Declined, nothing
// has changed: the program says so and ends.
Outcome RemoveWithRights();
// Deletes the library; where that needs rights this copy lacks and may ask
// for, a copy of the program started with them does it.
// Sets the outcome's library code, or its failure when the copy did not finish.
void RemoveLibrary(const std::wstring& path, Outcome& outcome);

// A copy's exit code: PackOutcome's for what it did, PackFailure's for the
// system error that stopped it (0x8007xxxx passes as xxxx; a larger code as
// 1603). Both carry a mark, so that UnpackOutcome takes any other code (a copy
// ended from outside, a fault) as a copy that did not finish.
unsigned long PackOutcome(const Outcome& outcome);
unsigned long PackFailure(unsigned long error);
Outcome UnpackOutcome(unsigned long packed);
// True in a copy started with raised rights.
bool IsCopyWithRights();

// The copy started with raised rights (/deletelibrary): deletes the library
// of the registered plug-in folder, or schedules it for the next restart, and
// ends with 0 deleted, 3010 scheduled, 1605 not there or the system error,
// packed.
[[noreturn]] void DeleteLibraryElevated();

// The copy started with raised rights when the removal needs them
// (/removewithrights): carries out the removal from closing Messenger to the
// library, shows nothing, and ends with its outcome packed in the exit code.
[[noreturn]] void RemoveWithRightsElevated();
