#pragma once

#include "app/LogLine.h"

#include <string>

// Collects every byte that the code under test writes to the host.
class COutputCapture
{
public:
    COutputCapture()
    {
        Bytes().clear();
        SetHostOutput(&Collect);
    }
    ~COutputCapture() { SetHostOutput(nullptr); }

    // The bytes written since the last Take.
    std::string Take()
    {
        std::string taken;
        taken.swap(Bytes());
        return taken;
    }

private:
    static std::string& Bytes()
    {
        static std::string bytes;
        return bytes;
    }
    static void Collect(const char* bytes, int count) { Bytes().append(bytes, size_t(count)); }
};
