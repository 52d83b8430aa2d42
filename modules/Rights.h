// The copies of the program started with raised rights: whether the removal
// needs rights it lacks and may ask for, and the first copy's side of each
// copy, which starts it and reads its outcome.
#pragma once

#include <string>

#include "Outcome.h"

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
