#include "app/CommandLine.h"

#include "base/HexDigit.h"

const char16_t* ParseHex(const char16_t* text, uintptr_t& value)
{
    value = 0;
    if (!text || HexDigitValue(*text) < 0)
        return nullptr;
    // The host passes handle values; a longer number keeps its low digits.
    for (int digit; (digit = HexDigitValue(*text)) >= 0; ++text)
        value = (value << 4) | uintptr_t(digit);
    return text;
}
