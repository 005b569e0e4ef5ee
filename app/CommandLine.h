#pragma once

#include <cstdint>

// Reads the hexadecimal digits at the start of `text` into `value`, as wide as a
// pointer of the build. No prefix, sign or white space is accepted, so "0x1A4"
// reads as 0; reading stops at the first other character; digits shifted out at
// the top are lost. Returns the position after the last digit, or null (with
// `value` 0) when `text` is null or does not begin with a digit.
const char16_t* ParseHex(const char16_t* text, uintptr_t& value);
