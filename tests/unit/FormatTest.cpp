#include "base/Format.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdint>
#include <string>

namespace {

// Readable in failure messages: ASCII as is, everything else as \uXXXX.
std::string Show(const std::u16string& text)
{
    std::string shown;
    for (char16_t unit : text) {
        if (unit >= 0x20 && unit < 0x7F) {
            shown += char(unit);
        } else {
            char escape[8];
            snprintf(escape, sizeof escape, "\\u%04X", unsigned(unit));
            shown += escape;
        }
    }
    return shown;
}

struct SRow
{
    const char* name;
    CSharedStringW actual;
    const char16_t* expected;
};

void Check(const SRow* rows, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        const SRow& row = rows[i];
        ASSERT_NE(row.actual.Get(), nullptr) << row.name;
        EXPECT_EQ(Show(row.actual.CStr()), Show(row.expected)) << row.name;
    }
}

TEST(Format, TextConversionsFollowLegacyWideRules)
{
    const char16_t* nullWide = nullptr;
    const char* nullNarrow = nullptr;
    CSharedStringW wideString;
    wideString.Assign(u"shared");
    const SRow rows[] = {
        {"%s takes a wide text", Format(u"<%s>", u"abc"), u"<abc>"},
        {"%s takes a wide shared string", Format(u"%s", wideString), u"shared"},
        {"%s of a null text", Format(u"%s", nullWide), u"(null)"},
        {"%s of a null shared string", Format(u"%s", CSharedStringW()), u"(null)"},
        {"%s keeps non-ASCII units", Format(u"%s", u"\u00E9\U0001F3B9"), u"\u00E9\U0001F3B9"},
        {"%S widens bytes one by one", Format(u"%S", "\xC3\xA9"), u"\u00C3\u00A9"},
        {"%S of bytes from 0x80 up", Format(u"%S", "\x80\xFF"), u"\u0080\u00FF"},
        {"%S of a null text", Format(u"%S", nullNarrow), u"(null)"},
        {"%S of a null shared string", Format(u"%S", CSharedStringA()), u"(null)"},
        {"width pads texts on the left", Format(u"[%5s]", u"ab"), u"[   ab]"},
        {"'-' pads texts on the right", Format(u"[%-5s]", u"ab"), u"[ab   ]"},
        {"'0' pads texts with zeros", Format(u"[%05s]", u"ab"), u"[000ab]"},
        {"precision cuts texts", Format(u"[%.2s]", u"abcdef"), u"[ab]"},
        {"precision cuts 8-bit texts", Format(u"[%.2S]", "abcdef"), u"[ab]"},
        {"precision cuts (null)", Format(u"[%.3s]", nullWide), u"[(nu]"},
        {"%c is one UTF-16 unit", Format(u"%c%c", u'A', 0x263A), u"A\u263A"},
        {"%c with width", Format(u"[%3c|%-3c]", u'x', u'y'), u"[  x|y  ]"},
    };
    Check(rows, sizeof rows / sizeof rows[0]);
}

TEST(Format, IntegerConversionsUseLow32Bits)
{
    const SRow rows[] = {
        {"%i decimal", Format(u"%i", 42), u"42"},
        {"%i negative", Format(u"%i", -42), u"-42"},
        {"%d smallest", Format(u"%d", INT_MIN), u"-2147483648"},
        {"%i of a 64-bit value is its low 32 bits, signed", Format(u"%i", 0x1FFFFFFFFll), u"-1"},
        {"%u of -1", Format(u"%u", -1), u"4294967295"},
        {"%u of a 64-bit value", Format(u"%u", 0x100000005ull), u"5"},
        {"%x lower case", Format(u"%x", 0xBEEF), u"beef"},
        {"%X upper case", Format(u"%X", 0xBEEF), u"BEEF"},
        {"%x of -1", Format(u"%x", -1), u"ffffffff"},
        {"%.8X pads to 8 digits", Format(u"%.8X", 0xABC), u"00000ABC"},
        {"%.8X of a 64-bit value", Format(u"%.8X", 0x123456789ull), u"23456789"},
        {"%.8X of a negative id", Format(u"%.8X", -2), u"FFFFFFFE"},
        {"%.4x pads to 4 digits", Format(u"%.4x", 0xA), u"000a"},
        {"%.4x does not cut", Format(u"%.4x", 0xBEEF1), u"beef1"},
        {"%.4i pads to 4 digits", Format(u"%.4i", 7), u"0007"},
        {"%.4i negative", Format(u"%.4i", -7), u"-0007"},
        {"%.2i pads to 2 digits", Format(u"%.2i", 5), u"05"},
        {"%.2i does not cut", Format(u"%.2i", 123), u"123"},
        {"precision 0 of 0 prints no digit", Format(u"[%.0i]", 0), u"[]"},
        {"width pads on the left", Format(u"[%5i]", 42), u"[   42]"},
        {"'-' pads on the right", Format(u"[%-5i]", 42), u"[42   ]"},
        {"'0' pads after the sign", Format(u"[%05i]", -42), u"[-0042]"},
        {"'0' is ignored with a precision", Format(u"[%05.3i]", 7), u"[  007]"},
        {"'-' wins over '0'", Format(u"[%-05i]", 7), u"[7    ]"},
        {"unsigned long (DWORD)", Format(u"%u", 4000000000ul), u"4000000000"},
    };
    Check(rows, sizeof rows / sizeof rows[0]);
}

TEST(Format, PointerIsZeroPaddedUpperHexOfPointerWidth)
{
    const void* pointer = reinterpret_cast<const void*>(uintptr_t(0x1234ABCD));
    const void* none = nullptr;
    const bool wide = sizeof(void*) == 8;
    const SRow rows[] = {
        {"%p pads to the pointer's width", Format(u"%p", pointer), wide ? u"000000001234ABCD" : u"1234ABCD"},
        {"%p of null", Format(u"%p", none), wide ? u"0000000000000000" : u"00000000"},
        {"%p with width", Format(u"[%20p]", pointer), wide ? u"[    000000001234ABCD]" : u"[            1234ABCD]"},
    };
    Check(rows, sizeof rows / sizeof rows[0]);
    if (wide) {
        const void* high = reinterpret_cast<const void*>(uintptr_t(0xFEDCBA9876543210ull));
        EXPECT_EQ(Show(Format(u"%p", high).CStr()), "FEDCBA9876543210");
    }
}

TEST(Format, PercentAndUnknownDirectivesAreCopied)
{
    const SRow rows[] = {
        {"%% is one percent sign", Format(u"100%%"), u"100%"},
        {"a lone % at the end", Format(u"100%"), u"100%"},
        {"unknown conversion takes no argument", Format(u"%q %i", 5), u"%q 5"},
        {"unknown conversion with flags", Format(u"%-5q"), u"%-5q"},
        {"length modifiers are not conversions", Format(u"%li", 5), u"%li"},
        {"no directive", Format(u"plain text"), u"plain text"},
        {"empty format", Format(u""), u""},
    };
    Check(rows, sizeof rows / sizeof rows[0]);
}

TEST(Format, MismatchedOrMissingArgumentPrintsMarkerAndNeverReadsIt)
{
    // A text is never read through a conversion of another width, a number never
    // taken for an address to read from.
    const SRow rows[] = {
        {"%i given a wide text", Format(u"%i", u"text"), u"(?)"},
        {"%x given an 8-bit text", Format(u"%x", "text"), u"(?)"},
        {"%s given a number", Format(u"%s", 0x1234), u"(?)"},
        {"%s given an 8-bit text", Format(u"%s", "narrow"), u"(?)"},
        {"%S given a wide text", Format(u"%S", u"wide"), u"(?)"},
        {"%S given a number", Format(u"%S", 7), u"(?)"},
        {"%c given a text", Format(u"%c", u"x"), u"(?)"},
        {"marker is not zero-padded", Format(u"[%05s]", 5), u"[  (?)]"},
        {"later arguments stay in place", Format(u"%s %i %s", 5, 7, u"end"), u"(?) 7 end"},
        {"a missing argument", Format(u"%i %i", 1), u"1 (?)"},
    };
    Check(rows, sizeof rows / sizeof rows[0]);

    // "%p" of a text prints where it is, as it would with any pointer.
    const char16_t* text = u"abc";
    EXPECT_EQ(Format(u"%p", text).GetLength(), int(sizeof(void*) * 2));
    EXPECT_EQ(Show(FormatArgs(u"%p", nullptr, 0).CStr()), "(?)");
}

TEST(Format, LogLineFormatsOfTheServer)
{
    const void* module = reinterpret_cast<const void*>(uintptr_t(0x10000000));
    const SRow rows[] = {
        {"shell line", Format(u"Found shell: %.8X - %S\n", 0x41424344, "Drum Kit"), u"Found shell: 41424344 - Drum Kit\n"},
        {"callback line", Format(u"Audio master callback: %i - %s\n", 6, u"audioMasterWantMidi"),
         u"Audio master callback: 6 - audioMasterWantMidi\n"},
        {"unhandled opcode", Format(u"Unhandled audioMaster opCode - %i\n", -5), u"Unhandled audioMaster opCode - -5\n"},
        {"version text", Format(u"%i.%i.%.2i.%.4i", 1, 2, 3, 4), u"1.2.03.0004"},
        {"entry point line", Format(u"Looking for entry point in module %p\n", module),
         sizeof(void*) == 8 ? u"Looking for entry point in module 0000000010000000\n"
                            : u"Looking for entry point in module 10000000\n"},
    };
    Check(rows, sizeof rows / sizeof rows[0]);
}

TEST(Format, ResultLengthIsMeasuredLazily)
{
    CSharedStringW s = Format(u"%i-%s", 12, u"ab");
    ASSERT_NE(s.Get(), nullptr);
    EXPECT_EQ(s.GetCachedLength(), -1);
    EXPECT_EQ(s.GetLength(), 5);
    EXPECT_GE(s.GetCapacity(), 5);
}

TEST(Format, TextTooLongForAStringGivesNull)
{
    EXPECT_EQ(Format(u"%2147483647i%2147483647i", 1, 2).Get(), nullptr);
    EXPECT_EQ(Format(u"%99999999999i", 1).Get(), nullptr); // the width saturates, never wraps
}

TEST(Format, NullFormatGivesEmptyText)
{
    CSharedStringW s = FormatArgs(nullptr, nullptr, 0);
    ASSERT_NE(s.Get(), nullptr);
    EXPECT_EQ(s.GetLength(), 0);
}

} // namespace
