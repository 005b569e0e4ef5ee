#pragma once

#include "base/SharedString.h"

#include <cstdint>

// One argument of a printf-style format, captured with its type so that the
// formatter never reads a value as something it is not.
struct SFormatArg
{
    enum EKind { kNone, kInt, kPointer, kWideText, kNarrowText };

    EKind kind = kNone;
    int64_t integer = 0;
    const void* pointer = nullptr;
    const char16_t* wide = nullptr;
    const char* narrow = nullptr;

    SFormatArg() = default;
    SFormatArg(int value) : kind(kInt), integer(value) {}
    SFormatArg(unsigned value) : kind(kInt), integer(value) {}
    SFormatArg(long value) : kind(kInt), integer(value) {}
    SFormatArg(unsigned long value) : kind(kInt), integer(int64_t(value)) {}
    SFormatArg(long long value) : kind(kInt), integer(value) {}
    SFormatArg(unsigned long long value) : kind(kInt), integer(int64_t(value)) {}
    SFormatArg(const void* value) : kind(kPointer), pointer(value) {}
    SFormatArg(const char16_t* text) : kind(kWideText), wide(text) {}
    SFormatArg(const char* text) : kind(kNarrowText), narrow(text) {}
    SFormatArg(const CSharedStringW& text) : kind(kWideText), wide(text.Get()) {}
    SFormatArg(const CSharedStringA& text) : kind(kNarrowText), narrow(text.Get()) {}
    SFormatArg(bool) = delete; // say "true" or "false" in the caller instead
    SFormatArg(const wchar_t*) = delete; // a Win32 text: AsU16 it at the call first
};

// printf-style formatting into a new wide string, with the legacy wide rules of
// the Microsoft C run time: "%s" takes a wide text and "%S" an 8-bit one (each
// byte widened to the unit of the same value); a null text prints "(null)";
// "%p" prints the pointer's width in upper-case hexadecimal digits.
// An argument that is missing or of a kind the conversion cannot print (a
// number for "%s", a wide text for "%S") prints "(?)" and is never read.
// Null when memory runs out.
CSharedStringW FormatArgs(const char16_t* format, const SFormatArg* args, int count);

template <typename... Args>
CSharedStringW Format(const char16_t* format, const Args&... args)
{
    const SFormatArg list[] = {SFormatArg(args)..., SFormatArg()};
    return FormatArgs(format, list, int(sizeof...(args)));
}
