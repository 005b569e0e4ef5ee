#include "app/CommandLine.h"

static int HexDigit(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

const char16_t* ParseHex(const char16_t* text, uintptr_t& value)
{
    value = 0;
    if (!text || HexDigit(*text) < 0)
        return nullptr;
    // The host passes handle values; a longer number keeps its low digits.
    for (int digit; (digit = HexDigit(*text)) >= 0; ++text)
        value = (value << 4) | uintptr_t(digit);
    return text;
}
