#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The parts of a minidump file that the crash tests look at, read straight
// from the published file layout so that the tests depend on no DbgHelp.
struct SMiniDumpException
{
    uint32_t threadId = 0;
    uint32_t code = 0;
    uint64_t address = 0;
    std::vector<uint64_t> parameters; // ExceptionInformation, NumberParameters of them
};

struct SMiniDump
{
    bool hasException = false;
    SMiniDumpException exception;  // the exception stream (type 6)
    std::vector<uint32_t> threadIds; // the thread list stream (type 3)
};

// False, with the reason in `error`, when `bytes` is not a well-formed dump:
// no "MDMP" signature, or a directory or stream that reaches past the end.
bool ReadMiniDump(const std::string& bytes, SMiniDump& dump, std::string& error);
