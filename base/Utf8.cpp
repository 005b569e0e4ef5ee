#include "base/SharedString.h"

#include <climits>

// The conversions are our own, not WideCharToMultiByte/MultiByteToWideChar, so
// that they give the same result in every build and natively under the
// sanitizers. They follow what those calls do with CP_UTF8 and no flags on
// current Windows: a lone surrogate becomes U+FFFD, and so does each maximal
// subpart of an ill-formed UTF-8 sequence (the rule of the Unicode standard and
// of WHATWG's decoder): a valid lead byte and the continuation bytes that can
// still follow it are replaced together by one U+FFFD, and decoding goes on at
// the first byte that broke the sequence.

namespace {

const char16_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

char* PutUtf8(char* out, uint32_t point)
{
    if (point < 0x80) {
        *out++ = char(point);
    } else if (point < 0x800) {
        *out++ = char(0xC0 | (point >> 6));
        *out++ = char(0x80 | (point & 0x3F));
    } else if (point < 0x10000) {
        *out++ = char(0xE0 | (point >> 12));
        *out++ = char(0x80 | ((point >> 6) & 0x3F));
        *out++ = char(0x80 | (point & 0x3F));
    } else {
        *out++ = char(0xF0 | (point >> 18));
        *out++ = char(0x80 | ((point >> 12) & 0x3F));
        *out++ = char(0x80 | ((point >> 6) & 0x3F));
        *out++ = char(0x80 | (point & 0x3F));
    }
    return out;
}

char16_t* PutUtf16(char16_t* out, uint32_t point)
{
    if (point < 0x10000) {
        *out++ = char16_t(point);
    } else {
        point -= 0x10000;
        *out++ = char16_t(0xD800 | (point >> 10));
        *out++ = char16_t(0xDC00 | (point & 0x3FF));
    }
    return out;
}

} // namespace

CSharedStringA ToUtf8(const char16_t* text)
{
    if (!text)
        return {};
    int count = CSharedStringW::Measure(text);
    // Three bytes per unit and three for the terminator: a unit of the Basic
    // Multilingual Plane takes at most 3 bytes, a surrogate pair 4 for 2 units.
    if (count > INT_MAX / 3 - 1)
        return {};
    CSharedStringA result;
    char* out = result.GetBuffer(3 * (count + 1));
    if (!out)
        return {};
    for (int i = 0; i < count; ++i) {
        char16_t unit = text[i];
        if (IsHighSurrogate(unit) && i + 1 < count && IsLowSurrogate(text[i + 1])) {
            out = PutUtf8(out, 0x10000 + ((uint32_t(unit) - 0xD800) << 10) + (uint32_t(text[i + 1]) - 0xDC00));
            ++i;
        } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
            out = PutUtf8(out, kReplacement);
        } else {
            out = PutUtf8(out, unit);
        }
    }
    *out = 0;
    return result;
}

CSharedStringW FromUtf8(const char* text)
{
    if (!text)
        return {};
    int count = CSharedStringA::Measure(text);
    if (count > INT_MAX - 2)
        return {};
    // Never more UTF-16 units than bytes: 4 bytes give at most 2 units.
    CSharedStringW result;
    char16_t* out = result.GetBuffer(count + 1);
    if (!out)
        return {};
    const unsigned char* in = reinterpret_cast<const unsigned char*>(text);
    int i = 0;
    while (in[i]) {
        unsigned lead = in[i++];
        if (lead < 0x80) {
            *out++ = char16_t(lead);
            continue;
        }
        // The lead byte fixes how many continuation bytes follow and, for the
        // second byte, a narrower range that excludes overlong forms, UTF-16
        // surrogates (ED A0..BF) and points above U+10FFFF.
        int needed;
        uint32_t point;
        unsigned low = 0x80, high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            needed = 1;
            point = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            needed = 2;
            point = lead & 0x0F;
            if (lead == 0xE0)
                low = 0xA0;
            else if (lead == 0xED)
                high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            needed = 3;
            point = lead & 0x07;
            if (lead == 0xF0)
                low = 0x90;
            else if (lead == 0xF4)
                high = 0x8F;
        } else {
            *out++ = kReplacement; // a stray continuation byte, C0, C1 or F5..FF
            continue;
        }
        bool whole = true;
        for (; needed > 0; --needed) {
            unsigned next = in[i]; // the terminator stops a truncated sequence here
            if (next < low || next > high) {
                whole = false;
                break;
            }
            point = (point << 6) | (next & 0x3F);
            ++i;
            low = 0x80;
            high = 0xBF;
        }
        if (whole)
            out = PutUtf16(out, point);
        else
            *out++ = kReplacement;
    }
    *out = 0;
    return result;
}

CSharedStringW Widen(const char* text)
{
    if (!text)
        return {};
    int count = CSharedStringA::Measure(text);
    CSharedStringW result;
    char16_t* out = result.GetBuffer(count);
    if (!out)
        return {};
    // As mbstowcs in the "C" locale: bytes from 0x80 up become U+0080..U+00FF.
    for (int i = 0; i < count; ++i)
        out[i] = char16_t(static_cast<unsigned char>(text[i]));
    out[count] = 0;
    return result;
}
