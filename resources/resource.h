// Resource identifiers, shared by the resource script and the code.
#pragma once

#define IDI_PROGRAM 1
#define IDB_WINDOW 101
#define IDB_CLOSE 102
#define IDB_MINIMIZE 103
#define IDC_HAND_POINTER 104

#define VERSION_NUMBERS 1, 1, 0, 5
#define VERSION_TEXT "1.01.0005"
