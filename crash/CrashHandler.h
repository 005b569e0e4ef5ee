#pragma once

#include "base/SharedString.h"

#include <windows.h>

// The folder for crash dumps: written once at start-up from the command line,
// before any plug-in runs; read by the crash filter on whichever thread faults.
extern CSharedStringW CrashFolder;

// "ScanServer-x64" or "ScanServer-x86": made by InstallCrashHandler so that the
// filter only reads it, and so that the two builds never share a dump name.
extern CSharedStringW DumpBaseName;

// Lets one faulting thread at a time write its dump. Initialised by
// InstallCrashHandler and never deleted.
extern CRITICAL_SECTION CrashLock;

// Makes CrashFilter the process's top-level exception filter and prepares
// everything it needs, so that the filter itself allocates nothing.
void InstallCrashHandler();

// Writes a minidump into CrashFolder and ends the process with exit code 9.
// Returns EXCEPTION_CONTINUE_SEARCH, leaving the crash to the system, only when
// DbgHelp or its MiniDumpWriteDump cannot be found. Plug-in code may install a
// filter of its own: hand this one to SetUnhandledExceptionFilter again after
// running plug-in code.
LONG WINAPI CrashFilter(EXCEPTION_POINTERS* info);
