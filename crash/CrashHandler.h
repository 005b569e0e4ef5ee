#pragma once

#include "base/SharedString.h"

#include <windows.h>

// The folder for crash dumps: written once at start-up from the command line,
// before any plug-in runs; read by the crash filter on whichever thread faults.
extern CSharedStringW CrashFolder;

// Makes CrashFilter the process's top-level exception filter and prepares
// everything it needs, so that the filter itself allocates nothing.
void InstallCrashHandler();

// Writes a minidump into CrashFolder and ends the process with exit code 9.
LONG WINAPI CrashFilter(EXCEPTION_POINTERS* info);
