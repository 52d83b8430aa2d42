// What the process does first: which copy of the program this is (the
// window, a run with switches, or one of the copies it starts itself), chosen
// from the command line, which also sets the run's mode.
#pragma once

#include <string>
#include <vector>

struct CommandLine {
  bool valid = true;
  bool quiet = false;
  bool preview = false;
  bool help = false;
  bool deleteLibrary = false;     // the copies started with raised rights
  bool removeWithRights = false;
  bool sessionSteps = false;      // the copy on a session's desktop
  std::wstring logPath;  // empty: no log
};
// Switches are case-insensitive and start with "/" or "-"; "/log" takes the
// next argument as its file. "/deletelibrary", "/removewithrights" and
// "/sessionsteps" are valid only on their own.
CommandLine ParseCommandLine(const std::vector<std::wstring>& arguments);

// The main window without arguments, else what the switches ask for.
void StartUp(const std::vector<std::wstring>& arguments);
