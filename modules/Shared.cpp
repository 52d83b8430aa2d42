#include "Shared.h"

InstallLocations InstallInfo;
bool ProcessKilled = false;
