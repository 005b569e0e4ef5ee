#include "base/SharedString.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

std::string Hex(const std::string& bytes)
{
    std::string shown;
    for (unsigned char byte : bytes) {
        char part[4];
        snprintf(part, sizeof part, "%02X ", byte);
        shown += part;
    }
    return shown;
}

std::string Hex(const std::u16string& units)
{
    std::string shown;
    for (char16_t unit : units) {
        char part[6];
        snprintf(part, sizeof part, "%04X ", unsigned(unit));
        shown += part;
    }
    return shown;
}

struct SToUtf8Row
{
    const char* name;
    std::u16string input;
    std::string expected;
};

TEST(Utf8, ToUtf8EncodesAndReplacesLoneSurrogates)
{
    const SToUtf8Row rows[] = {
        {"empty", u"", ""},
        {"ASCII", u"Synth.dll", "Synth.dll"},
        {"two-byte", u"\u00E9", "\xC3\xA9"},
        {"three-byte", u"\u20AC", "\xE2\x82\xAC"},
        {"last unit of the plane", u"\uFFFF", "\xEF\xBF\xBF"},
        {"surrogate pair is one 4-byte sequence", u"\U0001F600", "\xF0\x9F\x98\x80"},
        {"highest code point", u"\U0010FFFF", "\xF4\x8F\xBF\xBF"},
        {"lone high surrogate", std::u16string(1, char16_t(0xD800)), "\xEF\xBF\xBD"},
        {"lone low surrogate", std::u16string(1, char16_t(0xDC00)), "\xEF\xBF\xBD"},
        {"high surrogate before ASCII", std::u16string{char16_t(0xD800), u'A'}, "\xEF\xBF\xBD" "A"},
        {"pair in the wrong order", std::u16string{char16_t(0xDC00), char16_t(0xD800)}, "\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"high surrogate at the end", std::u16string{u'a', char16_t(0xD83D)}, "a\xEF\xBF\xBD"},
    };
    for (const SToUtf8Row& row : rows) {
        CSharedStringA result = ToUtf8(row.input.c_str());
        ASSERT_NE(result.Get(), nullptr) << row.name;
        EXPECT_EQ(Hex(result.CStr()), Hex(row.expected)) << row.name;
        EXPECT_EQ(result.GetCapacity(), 3 * (int(row.input.size()) + 1)) << row.name;
    }
}

struct SFromUtf8Row
{
    const char* name;
    std::string input;
    std::u16string expected;
};

const char16_t R = 0xFFFD;

TEST(Utf8, FromUtf8DecodesAndReplacesEachMaximalSubpart)
{
    const SFromUtf8Row rows[] = {
        {"empty", "", u""},
        {"ASCII", "C:\\VST\\Synth.dll", u"C:\\VST\\Synth.dll"},
        {"two-byte", "\xC3\xA9", u"\u00E9"},
        {"three-byte", "\xE2\x82\xAC", u"\u20AC"},
        {"four-byte becomes a surrogate pair", "\xF0\x9F\x98\x80", u"\U0001F600"},
        {"highest code point", "\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
        {"last before the surrogates", "\xED\x9F\xBF", u"\uD7FF"},
        {"truncated two-byte at the end", "\xC3", {R}},
        {"truncated three-byte is one replacement", "\xE2\x82", {R}},
        {"truncated four-byte is one replacement", "\xF0\x9F\x98", {R}},
        {"truncated sequence before ASCII", "\xE2\x82" "A", {R, u'A'}},
        {"lone continuation byte", "\x80", {R}},
        {"two continuation bytes", "\x80\xBF", {R, R}},
        {"overlong two-byte C0", "\xC0\xAF", {R, R}},
        {"overlong two-byte C1", "\xC1\xBF", {R, R}},
        {"overlong three-byte", "\xE0\x80\xAF", {R, R, R}},
        {"overlong four-byte", "\xF0\x80\x80\xAF", {R, R, R, R}},
        {"encoded high surrogate", "\xED\xA0\x80", {R, R, R}},
        {"encoded low surrogate", "\xED\xBF\xBF", {R, R, R}},
        {"encoded surrogate pair", "\xED\xA0\xBD\xED\xB8\x80", {R, R, R, R, R, R}},
        {"above U+10FFFF after F4", "\xF4\x90\x80\x80", {R, R, R, R}},
        {"lead byte F5", "\xF5\x80\x80\x80", {R, R, R, R}},
        {"bytes FE and FF", "\xFE\xFF", {R, R}},
        {"five-byte form", "\xF8\x88\x80\x80\x80", {R, R, R, R, R}},
        {"the standard's mixed example", "\x61\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64",
         {u'a', R, R, R, u'b', R, u'c', R, R, u'd'}},
        {"valid text after a broken sequence", "\xC3" "\xC3\xA9", {R, u'\u00E9'}},
    };
    for (const SFromUtf8Row& row : rows) {
        CSharedStringW result = FromUtf8(row.input.c_str());
        ASSERT_NE(result.Get(), nullptr) << row.name;
        EXPECT_EQ(Hex(std::u16string(result.CStr())), Hex(row.expected)) << row.name;
        EXPECT_EQ(result.GetCapacity(), int(row.input.size()) + 1) << row.name;
        EXPECT_EQ(result.GetCachedLength(), -1) << row.name;
    }
}

TEST(Utf8, RoundTripOfValidText)
{
    const char16_t* text = u"C:\\Plug-ins\\\u00C9t\u00E9 \u4E2D\u6587 \U0001F3B9.dll";
    CSharedStringW back = FromUtf8(ToUtf8(text));
    EXPECT_EQ(std::u16string(back.CStr()), text);
}

struct SWidenRow
{
    const char* name;
    std::string input;
    std::u16string expected;
};

TEST(Utf8, WidenMapsEachByteToTheUnitOfSameValue)
{
    const SWidenRow rows[] = {
        {"empty", "", u""},
        {"ASCII", "Vendor", u"Vendor"},
        {"E9 is U+00E9", "\xE9", u"\u00E9"},
        {"UTF-8 is not decoded", "\xC3\xA9", u"\u00C3\u00A9"},
        {"edges of the upper half", "\x80\xFF", u"\u0080\u00FF"},
    };
    for (const SWidenRow& row : rows) {
        CSharedStringW result = Widen(row.input.c_str());
        ASSERT_NE(result.Get(), nullptr) << row.name;
        EXPECT_EQ(Hex(std::u16string(result.CStr())), Hex(row.expected)) << row.name;
    }
}

} // namespace
