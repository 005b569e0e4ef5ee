#pragma once

// The two pipes to the host. Both are written once at start-up from the command
// line (or the standard handles) and read by the command loop and the line
// writer. Declared as void*, which is what HANDLE is, so that this header stays
// free of <windows.h> and the portable write loop below is tested natively.
extern void* InputHandle;
extern void* OutputHandle;

// Writes the bytes to OutputHandle, continuing after a partial write until all
// are written or a write fails, then flushes. Failures are ignored: a host that
// has closed the answer pipe must not stop the scan. Installed with
// SetHostOutput for every log line; the ready marker goes through it directly.
void WriteToOutput(const char* bytes, int count);

// Hands the bytes to `write` until all of them are taken. `write(bytes, count)`
// returns how many it took; 0 or less ends the loop, since a write that takes
// nothing would otherwise repeat forever. True when every byte was taken.
template <typename WriteFn>
bool WriteWhole(const char* bytes, int count, WriteFn write)
{
    while (count > 0) {
        int taken = write(bytes, count);
        if (taken <= 0 || taken > count)
            return false;
        bytes += taken;
        count -= taken;
    }
    return true;
}
