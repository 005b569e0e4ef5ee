#include "app/LogLine.h"

// Placeholder until the line writer lands.
static HostOutputFn HostOutput = nullptr;

void SetHostOutput(HostOutputFn output) { HostOutput = output; }

void WriteToHost(const char* bytes, int count)
{
    if (HostOutput)
        HostOutput(bytes, count);
}

void WriteLogLine(const char*, const char16_t*, const SFormatArg*, int) {}
