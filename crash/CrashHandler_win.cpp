#include "crash/CrashHandler.h"

// Only for the declarations: DbgHelp is loaded by name when a crash happens, so
// the programs never import it.
#include <dbghelp.h>

CSharedStringW CrashFolder;
CSharedStringW DumpBaseName;
CRITICAL_SECTION CrashLock;

namespace {

// The dump path's buffer, terminating null included.
constexpr int kDumpPathChars = 260;

// A thread that overflowed its stack enters the filter with little more than a
// page left; DbgHelp needs far more, so the dump is written from a fresh thread
// with a stack of its own.
constexpr DWORD kDumpThreadStack = 1024 * 1024;

// How long the faulting thread waits for the dump thread before writing the
// dump itself. A new thread first runs every library's DLL_THREAD_ATTACH under
// the loader lock: when the fault happened while that lock was held (a plug-in's
// DllMain), or a plug-in faults in its thread-attach code, the dump thread never
// gets to run our code.
constexpr DWORD kDumpThreadStartMs = 5000;

enum EDumpOutcome : DWORD
{
    kDumpWritten = 1,   // or tried: a path too long, no file, a partial dump all end here
    kDumpWriterMissing, // DbgHelp or its MiniDumpWriteDump is not there
    kDumpTaken,         // a late dump thread found the job already taken
};

// The one dump in progress, filled by the faulting thread under CrashLock.
// `ticket` is even while the job waits for a writer and odd once one has taken
// it, so the dump thread and the faulting thread never both write, and a dump
// thread that starts late never takes a later crash's job.
struct SDumpJob
{
    EXCEPTION_POINTERS* info;
    DWORD faultingThreadId;
    volatile DWORD writerThreadId; // read without the lock: a fault while writing ends the process
    volatile LONG ticket;
};
SDumpJob DumpJob;

bool TakeDumpJob(LONG ticket)
{
    if (InterlockedCompareExchange(&DumpJob.ticket, ticket + 1, ticket) != ticket)
        return false;
    DumpJob.writerThreadId = GetCurrentThreadId();
    return true;
}

// Writes into a fixed buffer and never touches the heap, which may be exactly
// what the plug-in has just corrupted. Remembers when anything did not fit.
class CPathWriter
{
public:
    CPathWriter(wchar_t* buffer, int capacity) : m_buffer(buffer), m_capacity(capacity) { m_buffer[0] = 0; }

    void Text(const char16_t* text)
    {
        for (; text && *text; ++text)
            Put(*text);
    }

    // A non-negative number with at least `digits` digits, as "%.4i" prints it.
    void Number(int value, int digits)
    {
        char16_t reversed[12];
        int count = 0;
        unsigned rest = value < 0 ? 0u : unsigned(value);
        do {
            reversed[count++] = char16_t(u'0' + rest % 10);
            rest /= 10;
        } while (rest != 0 || count < digits);
        while (count > 0)
            Put(reversed[--count]);
    }

    // False when the text with its terminating null did not fit.
    bool Finish()
    {
        if (m_overflow)
            return false;
        m_buffer[m_length] = 0;
        return true;
    }

private:
    void Put(char16_t c)
    {
        // One place is always kept for the terminating null.
        if (m_length + 1 >= m_capacity) {
            m_overflow = true;
            return;
        }
        m_buffer[m_length++] = wchar_t(c);
    }

    wchar_t* m_buffer;
    int m_capacity;
    int m_length = 0;
    bool m_overflow = false;
};

// "%s\%s-%.4i-%.2i-%.2i-%.2i-%.2i-%.2i.mdmp": the folder exactly as given, so a
// trailing backslash gives two in a row, which Windows accepts.
bool FormatDumpPath(wchar_t (&path)[kDumpPathChars], const SYSTEMTIME& time)
{
    CPathWriter writer(path, kDumpPathChars);
    writer.Text(CrashFolder.Get());
    writer.Text(u"\\");
    writer.Text(DumpBaseName.Get());
    const int fields[] = {time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond};
    for (int i = 0; i < 6; ++i) {
        writer.Text(u"-");
        writer.Number(fields[i], i == 0 ? 4 : 2);
    }
    writer.Text(u".mdmp");
    return writer.Finish();
}

class CScopedFile
{
public:
    explicit CScopedFile(HANDLE file) : m_file(file) {}
    ~CScopedFile()
    {
        if (m_file != INVALID_HANDLE_VALUE)
            CloseHandle(m_file);
    }
    CScopedFile(const CScopedFile&) = delete;
    CScopedFile& operator=(const CScopedFile&) = delete;

    HANDLE Get() const { return m_file; }
    bool IsValid() const { return m_file != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_file;
};

DWORD WriteDump(EXCEPTION_POINTERS* info, DWORD faultingThreadId)
{
    HMODULE dbgHelp = LoadLibraryW(L"DbgHelp.dll");
    if (!dbgHelp)
        return kDumpWriterMissing;
    auto writeDump = reinterpret_cast<decltype(&MiniDumpWriteDump)>(
        reinterpret_cast<void*>(GetProcAddress(dbgHelp, "MiniDumpWriteDump")));
    if (!writeDump)
        return kDumpWriterMissing;

    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t path[kDumpPathChars];
    // A folder too long for any path: no dump, but still the crash's exit code.
    if (!FormatDumpPath(path, now))
        return kDumpWritten;

    CScopedFile file(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid())
        return kDumpWritten;
    MINIDUMP_EXCEPTION_INFORMATION exception;
    exception.ThreadId = faultingThreadId;
    exception.ExceptionPointers = info;
    exception.ClientPointers = FALSE;
    writeDump(GetCurrentProcess(), GetCurrentProcessId(), file.Get(), MiniDumpNormal, &exception, nullptr, nullptr);
    return kDumpWritten;
}

DWORD WINAPI DumpThread(void* parameter)
{
    LONG ticket = LONG(reinterpret_cast<INT_PTR>(parameter));
    if (!TakeDumpJob(ticket))
        return kDumpTaken;
    return WriteDump(DumpJob.info, DumpJob.faultingThreadId);
}

// Called with CrashLock held. Writes the dump on a thread of its own, or on the
// faulting thread when no dump thread can be started or it does not start in time.
DWORD RunDumpJob(EXCEPTION_POINTERS* info)
{
    LONG ticket = (DumpJob.ticket | 1) + 1;
    DumpJob.info = info;
    DumpJob.faultingThreadId = GetCurrentThreadId();
    DumpJob.writerThreadId = 0;
    InterlockedExchange(&DumpJob.ticket, ticket);

    HANDLE thread = CreateThread(nullptr, kDumpThreadStack, DumpThread, reinterpret_cast<void*>(INT_PTR(ticket)),
                                 STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (thread) {
        // Ended in time, or took the job before we could: its outcome counts.
        if (WaitForSingleObject(thread, kDumpThreadStartMs) == WAIT_OBJECT_0 || !TakeDumpJob(ticket)) {
            WaitForSingleObject(thread, INFINITE);
            DWORD outcome = kDumpWritten;
            GetExitCodeThread(thread, &outcome);
            CloseHandle(thread);
            return outcome;
        }
        // Stuck before our code: it will find the job taken if it ever runs.
        CloseHandle(thread);
    } else {
        TakeDumpJob(ticket);
    }
    return WriteDump(info, DumpJob.faultingThreadId);
}

} // namespace

void InstallCrashHandler()
{
    InitializeCriticalSection(&CrashLock);
    DumpBaseName.Release();
    DumpBaseName.Assign(u"ScanServer");
#ifdef _WIN64
    DumpBaseName.Append(u"-x64");
#else
    DumpBaseName.Append(u"-x86");
#endif
    SetUnhandledExceptionFilter(CrashFilter);
}

LONG WINAPI CrashFilter(EXCEPTION_POINTERS* info)
{
    // Plain reads only: this may run on any thread, with the heap in any state.
    const char16_t* folder = CrashFolder.Get();
    if (!folder || !folder[0])
        TerminateProcess(GetCurrentProcess(), 9);

    // A fault inside the dump writer itself: the dump is lost, and waiting for
    // the lock (or writing again) would only hang or recurse.
    if (DumpJob.writerThreadId == GetCurrentThreadId())
        TerminateProcess(GetCurrentProcess(), 9);

    EnterCriticalSection(&CrashLock);
    if (RunDumpJob(info) == kDumpWriterMissing) {
        DumpJob.writerThreadId = 0;
        LeaveCriticalSection(&CrashLock);
        return EXCEPTION_CONTINUE_SEARCH;
    }
    // The lock stays taken: a second faulting thread must not reopen the file
    // (same name within the same second) and cut the finished dump short, nor
    // start a second dump in the moment before the process ends.
    TerminateProcess(GetCurrentProcess(), 9);
    return EXCEPTION_CONTINUE_SEARCH;
}
