#include "crash/CrashHandler.h"

// Placeholder until the crash dump writer lands.
CSharedStringW CrashFolder;

void InstallCrashHandler()
{
    SetUnhandledExceptionFilter(CrashFilter);
}

LONG WINAPI CrashFilter(EXCEPTION_POINTERS*)
{
    TerminateProcess(GetCurrentProcess(), 9);
    return EXCEPTION_CONTINUE_SEARCH;
}
