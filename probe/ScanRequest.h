#pragma once

#include "base/SharedString.h"
#include "probe/ScanResult.h"

#include <windows.h>

// The one library kept loaded between commands (a shell's), and the path it was
// loaded from. Both null, or both set; freed at shut-down.
extern HMODULE CachedLibrary;
extern CSharedStringW CachedLibraryPath;

// Answers one command: log lines, an error line when the scan failed, the record.
void ScanCommand(const CSharedStringW& command);

bool ScanPlugin(const CSharedStringW& command, CScanResult& result);

void FreeCachedLibrary();
