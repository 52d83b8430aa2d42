// The removal's flow, from the first check to the report: the removal a
// person or /quiet asks for, its preview, and what each copy started with
// raised rights does.
#pragma once

// Fills InstallInfo from the registry.
void ReadInstallInfo();

// Carries out the whole removal and ends the program; it never returns.
[[noreturn]] void RemovePlugin();

// Changes nothing: reports what RemovePlugin would do here, then ends.
[[noreturn]] void PreviewRemoval();

// The copy started with raised rights (/deletelibrary): deletes the library
// of the registered plug-in folder, or schedules it for the next restart, and
// ends with 0 deleted, 3010 scheduled, 1605 not there or the system error,
// packed.
[[noreturn]] void DeleteLibraryElevated();

// The copy started with raised rights when the removal needs them
// (/removewithrights): carries out the removal from closing Messenger to the
// library, shows nothing, and ends with its outcome packed in the exit code.
[[noreturn]] void RemoveWithRightsElevated();
