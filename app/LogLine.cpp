#include "app/LogLine.h"

// Set once at start-up (the answer pipe) or by a test's capture; read by every line.
static HostOutputFn HostOutput = nullptr;

void SetHostOutput(HostOutputFn output) { HostOutput = output; }

void WriteToHost(const char* bytes, int count)
{
    if (HostOutput && bytes && count > 0)
        HostOutput(bytes, count);
}

// Appends the message, writing every line feed but a closing one as the two
// characters '\' 'n': the host splits what it reads at line feeds, so a plug-in's
// name or vendor holding one must not be able to start a line of its own, such
// as a forged record line. 0x0A never occurs inside a multi-byte UTF-8 sequence.
static bool AppendMessage(CSharedStringA& line, const char* message)
{
    int length = CSharedStringA::Measure(message);
    int start = 0;
    for (int i = 0; i < length; ++i) {
        if (message[i] != '\n' || i == length - 1)
            continue;
        if (!line.Insert(-1, message + start, i - start) || !line.Append("\\n"))
            return false;
        start = i + 1;
    }
    return line.Insert(-1, message + start, length - start);
}

void WriteLogLine(const char* level, const char16_t* format, const SFormatArg* args, int count)
{
    // Any allocation that fails drops the whole line: a line cut short could
    // read to the host as a different one.
    CSharedStringA line;
    line.Assign(level);
    if (!line.Get() || !line.Append(":"))
        return;
    CSharedStringW message = FormatArgs(format, args, count);
    if (!message.Get())
        return;
    CSharedStringA utf8 = ToUtf8(message);
    if (!utf8.Get())
        return;
    if (!AppendMessage(line, utf8.Get()))
        return;
    WriteToHost(line.Get(), line.GetLength());
}
