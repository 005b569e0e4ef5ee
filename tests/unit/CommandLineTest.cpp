#include "app/CommandLine.h"

#include <gtest/gtest.h>

namespace {

struct SHexRow
{
    const char* name;
    const char16_t* text;
    uintptr_t value;
    int digitsRead; // -1: null returned
};

TEST(CommandLine, ParseHexReadsLeadingDigitsOnly)
{
    const SHexRow rows[] = {
        {"0x prefix stops after the zero", u"0x1A4", 0, 1},
        {"lower case", u"1a4", 0x1A4, 3},
        {"upper case", u"1A4", 0x1A4, 3},
        {"stops at the first other character", u"1A4z9", 0x1A4, 3},
        {"zero", u"0", 0, 1},
        {"leading space gives 0", u" 1A4", 0, -1},
        {"leading sign gives 0", u"-1", 0, -1},
        {"empty gives 0", u"", 0, -1},
        {"null gives 0", nullptr, 0, -1},
        {"not hexadecimal", u"g12", 0, -1},
        {"every digit value", u"9fF", 0x9FF, 3},
        {"all eight digits", u"DeadBeef", 0xDEADBEEF, 8},
        {"trailing text after digits", u"1c8 ", 0x1C8, 3},
    };
    for (const SHexRow& row : rows) {
        uintptr_t value = 12345;
        const char16_t* end = ParseHex(row.text, value);
        EXPECT_EQ(value, row.value) << row.name;
        if (row.digitsRead < 0)
            EXPECT_EQ(end, nullptr) << row.name;
        else
            EXPECT_EQ(end, row.text + row.digitsRead) << row.name;
    }
}

TEST(CommandLine, ParseHexKeepsOnlyTheDigitsThatFitAPointer)
{
    // One digit more than a pointer holds: the first is shifted out at the top.
    const bool wide = sizeof(uintptr_t) == 8;
    const char16_t* text = wide ? u"123456789ABCDEF01" : u"123456789";
    const uintptr_t expected = wide ? uintptr_t(0x23456789ABCDEF01ull) : uintptr_t(0x23456789u);
    uintptr_t value = 0;
    const char16_t* end = ParseHex(text, value);
    EXPECT_EQ(value, expected);
    EXPECT_EQ(end, text + (wide ? 17 : 9));

    // Exactly a pointer's width of digits is kept whole.
    const char16_t* full = wide ? u"FFFFFFFFFFFFFFFF" : u"FFFFFFFF";
    ParseHex(full, value);
    EXPECT_EQ(value, ~uintptr_t(0));
}

} // namespace
