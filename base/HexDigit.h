#pragma once

// The value of one hexadecimal digit, either case; -1 for any other character.
// Handle values on the command line and sub-plug-in ids in commands share it.
inline int HexDigitValue(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}
