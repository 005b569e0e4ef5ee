#include "app/HostChannel.h"

#include <windows.h>

static_assert(sizeof(HANDLE) == sizeof(void*), "a handle is held as a plain pointer");

void* InputHandle = nullptr;
void* OutputHandle = nullptr;

void WriteToOutput(const char* bytes, int count)
{
    // WriteFile on a pipe may take fewer bytes than asked (a non-blocking or
    // message-mode pipe handed over by the host); the rest must not be lost in
    // the middle of a line.
    WriteWhole(bytes, count, [](const char* rest, int size) {
        DWORD written = 0;
        if (!WriteFile(OutputHandle, rest, DWORD(size), &written, nullptr))
            return 0;
        return int(written);
    });
    // Each line is in the pipe before the caller goes on, also when the plug-in
    // code that runs next crashes the process.
    FlushFileBuffers(OutputHandle);
}
