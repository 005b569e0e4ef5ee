#include "probe/ScanRequest.h"

#include "app/LogLine.h"
#include "app/MessagePump.h"
#include "base/Text16.h"
#include "crash/CrashHandler.h"
#include "indicator/IndicatorWindow.h"
#include "probe/HostCallback.h"
#include "probe/PluginProbe.h"
#include "probe/ScanCommandText.h"
#include "probe/VersionText.h"

// The library cache: written only here, on the one thread; freed at shut-down.
HMODULE CachedLibrary = nullptr;
CSharedStringW CachedLibraryPath;

void ScanCommand(const CSharedStringW& command)
{
    CScanResult result;
    if (!ScanPlugin(command, result))
        LogError(u"%s\n", result.error);
    result.WriteReport();
}

bool ScanPlugin(const CSharedStringW& command, CScanResult& result)
{
    LogInfo(u"Scanning plugin: '%s'\n", command);
    CSharedStringW path;
    int32_t id = 0;
    SplitScanCommand(command, path, id);
    SetUnhandledExceptionFilter(CrashFilter);

    HMODULE module;
    bool reused;
    // Exact text, case included: a path spelled differently loads again.
    if (CachedLibraryPath.Get() && CachedLibraryPath.IsEqual(path)) {
        LogInfo(u"Re-using previous library instance...\n");
        module = CachedLibrary;
        reused = true;
    } else {
        if (CachedLibrary)
            FreeCachedLibrary();
        LogInfo(u"Loading library...\n");
        // With an absolute path, the plug-in's own folder is searched first for
        // the libraries it depends on.
        module = LoadLibraryExW(AsWide(path.CStr()), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        if (!module) {
            result.error = Format(u"Failed to load library, err=%i", int(GetLastError()));
            return false;
        }
        reused = false;
    }

    CSharedStringW versionText = FileVersionText(path);
    // The library's start-up code has run by now and may have put its own
    // exception filter in place.
    SetUnhandledExceptionFilter(CrashFilter);
    SetActiveWindow(IndicatorWindow);
    DrainMessages();

    CurrentShellId = id;
    bool ok = ProbePlugin(module, result);
    CurrentShellId = 0;

    // The plug-in's own version wins; the version resource fills the gap.
    if (result.version.IsEmpty())
        result.version = versionText;
    DrainMessages();

    // A shell's sub-plug-ins are scanned one by one next, each by its own
    // command on the same path: its library stays loaded for them.
    if (result.shells.GetSize() > 0 || reused) {
        LogInfo(u"Keeping shell library loaded for now...\n");
        CachedLibrary = module;
        CachedLibraryPath = path;
    } else {
        LogInfo(u"Freeing library...\n");
        FreeLibrary(module);
        CachedLibrary = nullptr;
        CachedLibraryPath.Release();
    }
    LogInfo(u"Finished\n");
    return ok;
}

void FreeCachedLibrary()
{
    if (!CachedLibrary)
        return;
    LogInfo(u"Freeing cached library...\n");
    FreeLibrary(CachedLibrary);
    CachedLibrary = nullptr;
    CachedLibraryPath.Release();
    LogInfo(u"Freed\n");
}
