#include "base/Format.h"

// Placeholder until the formatter lands.
CSharedStringW FormatArgs(const char16_t* format, const SFormatArg*, int)
{
    CSharedStringW text;
    text.Assign(format);
    return text;
}
