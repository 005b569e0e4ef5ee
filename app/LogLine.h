#pragma once

#include "base/Format.h"

// Where the bytes for the host go: the answer pipe in the server, a capture in
// tests. Until one is set, lines are dropped.
using HostOutputFn = void (*)(const char* bytes, int count);
void SetHostOutput(HostOutputFn output);
void WriteToHost(const char* bytes, int count);

// One line to the host: the level word, a colon and the formatted message in
// UTF-8, written and flushed at once. Every format ends with its own "\n".
void WriteLogLine(const char* level, const char16_t* format, const SFormatArg* args, int count);

template <typename... Args>
void LogError(const char16_t* format, const Args&... args)
{
    const SFormatArg list[] = {SFormatArg(args)..., SFormatArg()};
    WriteLogLine("error", format, list, int(sizeof...(args)));
}

template <typename... Args>
void LogWarn(const char16_t* format, const Args&... args)
{
    const SFormatArg list[] = {SFormatArg(args)..., SFormatArg()};
    WriteLogLine("warn", format, list, int(sizeof...(args)));
}

template <typename... Args>
void LogInfo(const char16_t* format, const Args&... args)
{
    const SFormatArg list[] = {SFormatArg(args)..., SFormatArg()};
    WriteLogLine("info", format, list, int(sizeof...(args)));
}

template <typename... Args>
void LogReport(const char16_t* format, const Args&... args)
{
    const SFormatArg list[] = {SFormatArg(args)..., SFormatArg()};
    WriteLogLine(">", format, list, int(sizeof...(args)));
}
