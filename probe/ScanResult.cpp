#include "probe/ScanResult.h"

#include "app/LogLine.h"
#include "probe/Vst2.h"

namespace {

const char16_t* Word(bool flag) { return flag ? u"true" : u"false"; }

// The second character of a unit's two-character escape, or 0 when it has none.
char16_t ShortEscape(char16_t unit)
{
    switch (unit) {
    case 0x08: return u'b';
    case 0x09: return u't';
    case 0x0A: return u'n';
    case 0x0C: return u'f';
    case 0x0D: return u'r';
    case u'"': return u'"';
    case u'/': return u'/';
    case u'\\': return u'\\';
    default: return 0;
    }
}

int EscapedWidth(char16_t unit)
{
    if (ShortEscape(unit))
        return 2;
    if (unit >= 0x20 && unit <= 0x7E)
        return 1;
    return 6; // \uXXXX
}

} // namespace

// Units one by one, so text outside the Basic Multilingual Plane becomes the
// escapes of its two surrogates, and the record stays plain ASCII on the pipe.
// The exact length is measured first so that the text is built in one block.
CSharedStringW JsonEscape(const CSharedStringW& text)
{
    static const char16_t kHex[] = u"0123456789abcdef";

    const char16_t* units = text.CStr();
    int64_t width = 0;
    for (const char16_t* unit = units; *unit; ++unit)
        width += EscapedWidth(*unit);

    CSharedStringW escaped;
    char16_t* out = width <= INT32_MAX ? escaped.GetBuffer(int(width)) : nullptr;
    if (!out) {
        // Out of memory: the value is written empty rather than cut short. If
        // not even an empty block can be had, the caller prints CStr().
        escaped.GetBuffer(0);
        return escaped;
    }
    for (const char16_t* unit = units; *unit; ++unit) {
        char16_t second = ShortEscape(*unit);
        if (second) {
            *out++ = u'\\';
            *out++ = second;
        } else if (*unit >= 0x20 && *unit <= 0x7E) {
            *out++ = *unit;
        } else {
            *out++ = u'\\';
            *out++ = u'u';
            *out++ = kHex[(*unit >> 12) & 0xF];
            *out++ = kHex[(*unit >> 8) & 0xF];
            *out++ = kHex[(*unit >> 4) & 0xF];
            *out++ = kHex[*unit & 0xF];
        }
    }
    *out = 0;
    return escaped;
}

// The record is the host's contract: keys, blanks and trailing commas are
// fixed text. Values go in through CStr(), so an escape that failed for want
// of memory prints as an empty value, never as "(null)".
void CScanResult::WriteReport() const
{
    // Ids are the 32 bits of the signed value: -1 is FFFFFFFF, with no sign.
    LogReport(u"{\n");
    LogReport(u"  \"id\":        \"%.8X\",\n", uint32_t(id));
    LogReport(u"  \"name\":      \"%s\",\n", JsonEscape(name).CStr());
    LogReport(u"  \"vendor\":    \"%s\",\n", JsonEscape(vendor).CStr());
    LogReport(u"  \"product\":   \"%s\",\n", JsonEscape(product).CStr());
    LogReport(u"  \"version\":   \"%s\",\n", JsonEscape(version).CStr());
    LogReport(u"  \"error\":     \"%s\",\n", JsonEscape(error).CStr());
    LogReport(u"  \"numInputs\": %i,\n", numInputs);
    LogReport(u"  \"numOutputs\":%i,\n", numOutputs);
    LogReport(u"  \"wantsMidi\":  %s,\n", Word(wantsMidi));
    LogReport(u"  \"sendsMidi\": %s,\n", Word(sendsMidi));
    LogReport(u"  \"platform\":  \"%s\",\n", sizeof(void*) == 8 ? u"x64" : u"x86");
    LogReport(u"  \"audio64\":   %s,\n", Word(audio64));
    LogReport(u"  \"category\":  %i,\n", category);
    LogReport(u"  \"synthEdit\": %s,\n", Word(synthEdit));
    // Only a shell lists sub-plug-ins, even when it reported none.
    if (category == kPlugCategShell) {
        LogReport(u"  \"shells\": {\n");
        for (int i = 0; i < shells.GetSize(); ++i) {
            const CShellInfo* shell = shells.GetAt(i);
            if (shell)
                LogReport(u"        \"%.8X\": \"%s\",\n", uint32_t(shell->id), JsonEscape(shell->name).CStr());
        }
        LogReport(u"  },\n");
    }
    LogReport(u"}\n");
}
