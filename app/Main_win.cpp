#include "app/CommandLine.h"
#include "app/HostChannel.h"
#include "app/LogLine.h"
#include "app/MessagePump.h"
#include "base/SharedString.h"
#include "base/Text16.h"
#include "crash/CrashHandler.h"
#include "indicator/IndicatorWindow.h"
#include "probe/ScanRequest.h"

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>
#include <shellapi.h>

#include <cstring>

#ifdef _WIN64
static const char16_t kBanner[] = u"Talvarine Plugin Scan Server (x64)\n";
#else
static const char16_t kBanner[] = u"Talvarine Plugin Scan Server (x86)\n";
#endif

static const char kReadyMarker[] = "ready:\n";

// Written by start-up, read by shut-down.
static ULONG_PTR GdiplusToken = 0;

static void RunCommandLoop()
{
    // No "insert a disk" or "file not found" boxes while plug-in libraries and
    // their dependencies load: nobody is there to close them.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);

    // A read fills at most 1023 bytes so that a zero can always follow them.
    char buffer[1024];
    for (;;) {
        WriteToOutput(kReadyMarker, int(sizeof(kReadyMarker) - 1));

        // Exactly one read per marker: the host writes one command per marker,
        // and a read that fails or ends is the host closing the command pipe.
        DWORD count = 0;
        if (!ReadFile(InputHandle, buffer, sizeof(buffer) - 1, &count, nullptr) || count == 0)
            break;
        buffer[count] = 0;
        if (char* lineFeed = static_cast<char*>(std::memchr(buffer, '\n', count)))
            *lineFeed = 0;

        // The command ends at the first zero byte, whether at the line feed or inside.
        CSharedStringA narrow;
        narrow.Assign(buffer);
        DrainMessages();
        // Without memory for the text there is no command to scan; the host gets
        // the next ready marker and may send it again.
        if (!narrow.Get())
            continue;
        CSharedStringW command = FromUtf8(narrow);
        if (!command.Get())
            continue;
        ScanCommand(command);
    }
}

// Without an input handle there are no commands: the indicator lives until
// someone posts WM_QUIT to this thread.
static void RunMessageLoop()
{
    MSG message;
    // GetMessageW's -1 (a bad window handle) cannot happen with a null window.
    while (GetMessageW(&message, nullptr, 0, 0)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    // Before anything else, so that a fault even in start-up leaves exit code 9.
    InstallCrashHandler();

    int argumentCount = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &argumentCount);
    if (!arguments)
        argumentCount = 0;
    uintptr_t values[4] = {};
    for (int position = 1; position <= 3; ++position) {
        if (argumentCount > position && arguments[position])
            ParseHex(AsU16(arguments[position]), values[position]);
    }
    if (argumentCount > 4 && arguments[4] && arguments[4][0]) {
        CrashFolder.Release();
        CrashFolder.Assign(AsU16(arguments[4]));
    }
    // Every argument we keep has been copied or read.
    LocalFree(arguments);

    Gdiplus::GdiplusStartupInput startup;
    startup.GdiplusVersion = 1;
    startup.DebugEventCallback = nullptr;
    startup.SuppressBackgroundThread = FALSE;
    startup.SuppressExternalCodecs = FALSE;
    Gdiplus::GdiplusStartup(&GdiplusToken, &startup, nullptr);

    InputHandle = values[1] ? reinterpret_cast<HANDLE>(values[1]) : GetStdHandle(STD_INPUT_HANDLE);
    OutputHandle = values[2] ? reinterpret_cast<HANDLE>(values[2]) : GetStdHandle(STD_OUTPUT_HANDLE);
    SetHostOutput(&WriteToOutput);

    ShowIndicatorWindow(instance, reinterpret_cast<HWND>(values[3]));
    LogInfo(kBanner);

    // The parsed value decides, not InputHandle, which may be the standard input.
    if (values[1])
        RunCommandLoop();
    else
        RunMessageLoop();

    if (CachedLibrary)
        FreeCachedLibrary();
    if (IndicatorWindow)
        DestroyWindow(IndicatorWindow);
    Gdiplus::GdiplusShutdown(GdiplusToken);
    return 0;
}
