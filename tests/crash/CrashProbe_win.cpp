// crash-probe.exe MODE [FOLDER]
//
// Installs the scan server's crash handler, takes FOLDER (absent or empty: none)
// as the crash folder, and then faults the way MODE names. Before faulting it
// prints "fault-thread <id>" on standard output for every thread that is about
// to fault, so that the test can find that thread in the dump.
#include "crash/CrashHandler.h"

#include "base/Text16.h"

#include <cstdio>
#include <cwchar>

namespace {

// An address below 64 KB: never mapped, so a write there always faults, and
// the dump's exception record shows exactly this address.
volatile int* const kFaultAddress = reinterpret_cast<volatile int*>(0xBAD0);

// What a foreign filter does when it gets the crash instead of ours.
constexpr UINT kForeignFilterExitCode = 77;

void Say(const char* line)
{
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line, DWORD(strlen(line)), &written, nullptr);
}

void SayFaultingThread(DWORD threadId)
{
    char line[40];
    snprintf(line, sizeof(line), "fault-thread %lu\n", static_cast<unsigned long>(threadId));
    Say(line);
}

void Fault()
{
    *kFaultAddress = 1;
}

// Each frame keeps a buffer alive across the call and uses the result, so the
// compiler can neither turn the recursion into a loop nor drop the frames.
// Frames of a page: with smaller ones 64-bit Wine has no stack left even to
// dispatch the exception, and ends the thread before any filter runs.
__attribute__((noinline)) int Recurse(volatile int depth)
{
    volatile char frame[4096];
    frame[0] = char(depth);
    if (depth == -1)
        return frame[0];
    return Recurse(depth + 1) + frame[0];
}

HANDLE StartEvent;

DWORD WINAPI FaultingThread(void*)
{
    WaitForSingleObject(StartEvent, INFINITE);
    Fault();
    return 0;
}

DWORD WINAPI OverflowingThread(void*)
{
    return DWORD(Recurse(0));
}

// Starts `count` threads running `body`, says which they are, lets them go at
// the same moment and waits for the crash to end the process.
[[noreturn]] void FaultOnThreads(int count, LPTHREAD_START_ROUTINE body, SIZE_T stackSize = 0)
{
    StartEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    for (int i = 0; i < count; ++i) {
        DWORD id = 0;
        if (!CreateThread(nullptr, stackSize, body, nullptr, stackSize ? STACK_SIZE_PARAM_IS_A_RESERVATION : 0, &id))
            ExitProcess(3);
        SayFaultingThread(id);
    }
    SetEvent(StartEvent);
    Sleep(INFINITE);
    ExitProcess(4);
}

LONG WINAPI ForeignFilter(EXCEPTION_POINTERS*)
{
    TerminateProcess(GetCurrentProcess(), kForeignFilterExitCode);
    return EXCEPTION_CONTINUE_SEARCH;
}

// Calls the filter itself, as the system would, so that a filter that steps
// aside shows up as this exit code instead of the system's crash handling
// (which may start a debugger that waits for a person).
constexpr UINT kFilterReturnedExitCode = 10;

LONG WINAPI CallCrashFilter(EXCEPTION_POINTERS* info)
{
    if (CrashFilter(info) == EXCEPTION_CONTINUE_SEARCH)
        TerminateProcess(GetCurrentProcess(), kFilterReturnedExitCode);
    TerminateProcess(GetCurrentProcess(), 11);
    return EXCEPTION_CONTINUE_SEARCH;
}

// A fault while the loader lock is held, as in a plug-in's DllMain: a thread
// started now cannot run until the lock is free.
void FaultUnderLoaderLock()
{
    using LockLoaderLock = LONG(NTAPI*)(ULONG flags, ULONG* disposition, ULONG_PTR* cookie);
    auto lock = reinterpret_cast<LockLoaderLock>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "LdrLockLoaderLock")));
    ULONG_PTR cookie = 0;
    if (!lock || lock(0, nullptr, &cookie) != 0)
        ExitProcess(5);
    SayFaultingThread(GetCurrentThreadId());
    Fault();
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    InstallCrashHandler();
    if (argc < 2)
        return 2;
    if (argc >= 3)
        CrashFolder.Assign(AsU16(argv[2]));
    const wchar_t* mode = argv[1];

    if (!wcscmp(mode, L"main")) {
        SayFaultingThread(GetCurrentThreadId());
        Fault();
    } else if (!wcscmp(mode, L"thread")) {
        FaultOnThreads(1, FaultingThread);
    } else if (!wcscmp(mode, L"two-threads")) {
        FaultOnThreads(2, FaultingThread);
    } else if (!wcscmp(mode, L"overflow")) {
        SayFaultingThread(GetCurrentThreadId());
        return Recurse(0);
    } else if (!wcscmp(mode, L"thread-overflow")) {
        // Plug-in threads often run on small stacks.
        FaultOnThreads(1, OverflowingThread, 64 * 1024);
    } else if (!wcscmp(mode, L"foreign-replaced")) {
        SetUnhandledExceptionFilter(ForeignFilter);
        // What the scan server does after every call into plug-in code.
        SetUnhandledExceptionFilter(CrashFilter);
        SayFaultingThread(GetCurrentThreadId());
        Fault();
    } else if (!wcscmp(mode, L"foreign-kept")) {
        SetUnhandledExceptionFilter(ForeignFilter);
        SayFaultingThread(GetCurrentThreadId());
        Fault();
    } else if (!wcscmp(mode, L"filter-returns")) {
        AddVectoredExceptionHandler(1, CallCrashFilter);
        SayFaultingThread(GetCurrentThreadId());
        Fault();
    } else if (!wcscmp(mode, L"loader-lock")) {
        FaultUnderLoaderLock();
    }
    return 2;
}
