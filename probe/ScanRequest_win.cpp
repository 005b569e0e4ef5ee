#include "probe/ScanRequest.h"

#include "app/LogLine.h"

// Placeholder until the scan request lands.
HMODULE CachedLibrary = nullptr;
CSharedStringW CachedLibraryPath;

void ScanCommand(const CSharedStringW& command)
{
    LogInfo(u"Scanning plugin: '%s'\n", command);
}

bool ScanPlugin(const CSharedStringW&, CScanResult&)
{
    return false;
}

void FreeCachedLibrary() {}
