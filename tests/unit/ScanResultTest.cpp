#include "probe/ScanResult.h"

#include "OutputCapture.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

const std::string kPlatform = sizeof(void*) == 8 ? "x64" : "x86";

CSharedStringW Text(const char16_t* text)
{
    CSharedStringW string;
    string.Assign(text);
    return string;
}

std::string Narrow(const CSharedStringW& text)
{
    std::string out;
    for (const char16_t* unit = text.CStr(); *unit; ++unit)
        out += *unit < 0x80 ? char(*unit) : '?';
    return out;
}

std::string Record(const CScanResult& result)
{
    COutputCapture capture;
    result.WriteReport();
    return capture.Take();
}

CShellInfo* Shell(int32_t id, const char16_t* name)
{
    CShellInfo* shell = new CShellInfo;
    shell->id = id;
    shell->name = Text(name);
    return shell;
}

// ---- JsonEscape ----

struct SEscapeRow
{
    const char* what;
    std::u16string input;
    std::string expected;
};

TEST(JsonEscape, EscapesEachUnitByTheTable)
{
    std::u16string printable;
    std::string printableOut;
    for (char16_t unit = 0x20; unit <= 0x7E; ++unit) {
        if (unit == u'"' || unit == u'/' || unit == u'\\')
            continue;
        printable += unit;
        printableOut += char(unit);
    }
    const SEscapeRow rows[] = {
        {"backspace", u"\b", "\\b"},
        {"tab", u"\t", "\\t"},
        {"line feed", u"\n", "\\n"},
        {"form feed", u"\f", "\\f"},
        {"carriage return", u"\r", "\\r"},
        {"quotation mark", u"\"", "\\\""},
        {"solidus", u"/", "\\/"},
        {"backslash", u"\\", "\\\\"},
        {"printable ASCII is copied", printable, printableOut},
        {"vertical tab", u"\x0B", "\\u000b"},
        {"unit 0x01", u"\x01", "\\u0001"},
        {"unit 0x1F", u"\x1F", "\\u001f"},
        {"delete 0x7F", u"\x7F", "\\u007f"},
        {"no-break space", u"\u00A0", "\\u00a0"},
        {"e acute", u"\u00E9", "\\u00e9"},
        {"lower-case hex digits", u"\uABCD", "\\uabcd"},
        {"unit 0xFFFF", u"\xFFFF", "\\uffff"},
        {"astral character as two surrogates", u"\U0001F600", "\\ud83d\\ude00"},
        {"lone surrogate", u"\xD800", "\\ud800"},
        {"escapes anywhere in the text", u"C:\\VST/\"A\"\tB\u00E9", "C:\\\\VST\\/\\\"A\\\"\\tB\\u00e9"},
    };
    for (const SEscapeRow& row : rows) {
        CSharedStringW escaped = JsonEscape(Text(row.input.c_str()));
        ASSERT_NE(escaped.Get(), nullptr) << row.what;
        EXPECT_EQ(Narrow(escaped), row.expected) << row.what;
        EXPECT_EQ(escaped.GetLength(), int(row.expected.size())) << row.what;
    }
}

TEST(JsonEscape, EmptyInputGivesEmptyTextWithBlock)
{
    CSharedStringW null;
    CSharedStringW zeroLength;
    ASSERT_NE(zeroLength.GetBuffer(0), nullptr);
    for (const CSharedStringW* input : {&null, &zeroLength}) {
        CSharedStringW escaped = JsonEscape(*input);
        EXPECT_NE(escaped.Get(), nullptr) << "an empty value must still print as nothing";
        EXPECT_EQ(escaped.GetLength(), 0);
    }
}

TEST(JsonEscape, LeavesItsInputAlone)
{
    CSharedStringW input = Text(u"a/b");
    CSharedStringW copy = input;
    CSharedStringW escaped = JsonEscape(input);
    EXPECT_EQ(Narrow(input), "a/b");
    EXPECT_EQ(input.GetRefCount(), 2);
    EXPECT_NE(escaped.Get(), input.Get());
}

// ---- WriteReport ----

TEST(ScanResult, FreshResultWritesTheRecordOfAScanThatEndedEarly)
{
    CScanResult result;
    EXPECT_EQ(Record(result),
              ">:{\n"
              ">:  \"id\":        \"00000000\",\n"
              ">:  \"name\":      \"\",\n"
              ">:  \"vendor\":    \"\",\n"
              ">:  \"product\":   \"\",\n"
              ">:  \"version\":   \"\",\n"
              ">:  \"error\":     \"\",\n"
              ">:  \"numInputs\": 0,\n"
              ">:  \"numOutputs\":0,\n"
              ">:  \"wantsMidi\":  false,\n"
              ">:  \"sendsMidi\": false,\n"
              ">:  \"platform\":  \"" + kPlatform + "\",\n"
              ">:  \"audio64\":   false,\n"
              ">:  \"category\":  -1,\n"
              ">:  \"synthEdit\": false,\n"
              ">:}\n");
}

TEST(ScanResult, FilledResultWritesEveryFieldEscaped)
{
    CScanResult result;
    result.id = 0x1234ABCD;
    result.name = Text(u"Synth \"One\"");
    result.vendor = Text(u"Caf\u00E9 / Audio");
    result.product = Text(u"C:\\Plugins\tX");
    result.version = Text(u"1.2.3.4");
    result.error = Text(u"Plugin failed\n");
    result.numInputs = 2;
    result.numOutputs = 18;
    result.wantsMidi = true;
    result.sendsMidi = true;
    result.audio64 = true;
    result.synthEdit = true;
    result.category = 2;
    EXPECT_EQ(Record(result),
              ">:{\n"
              ">:  \"id\":        \"1234ABCD\",\n"
              ">:  \"name\":      \"Synth \\\"One\\\"\",\n"
              ">:  \"vendor\":    \"Caf\\u00e9 \\/ Audio\",\n"
              ">:  \"product\":   \"C:\\\\Plugins\\tX\",\n"
              ">:  \"version\":   \"1.2.3.4\",\n"
              ">:  \"error\":     \"Plugin failed\\n\",\n"
              ">:  \"numInputs\": 2,\n"
              ">:  \"numOutputs\":18,\n"
              ">:  \"wantsMidi\":  true,\n"
              ">:  \"sendsMidi\": true,\n"
              ">:  \"platform\":  \"" + kPlatform + "\",\n"
              ">:  \"audio64\":   true,\n"
              ">:  \"category\":  2,\n"
              ">:  \"synthEdit\": true,\n"
              ">:}\n");
}

// The lines from "category" on, for the shell cases.
std::string Tail(const std::string& record)
{
    size_t at = record.find(">:  \"category\"");
    return at == std::string::npos ? record : record.substr(at);
}

TEST(ScanResult, ShellBlockIsWrittenForCategoryTenOnly)
{
    struct SRow
    {
        const char* what;
        int32_t category;
        bool withShells;
        std::string tail;
    };
    const SRow rows[] = {
        {"shell without sub-plug-ins", 10, false,
         ">:  \"category\":  10,\n"
         ">:  \"synthEdit\": false,\n"
         ">:  \"shells\": {\n"
         ">:  },\n"
         ">:}\n"},
        {"shell with sub-plug-ins in their order", 10, true,
         ">:  \"category\":  10,\n"
         ">:  \"synthEdit\": false,\n"
         ">:  \"shells\": {\n"
         ">:        \"53796E31\": \"Synth 1\",\n"
         ">:        \"FFFFFFFF\": \"Minus \\/ one\",\n"
         ">:        \"80000000\": \"\\u00e9\",\n"
         ">:        \"00000000\": \"\",\n"
         ">:  },\n"
         ">:}\n"},
        {"other category with sub-plug-ins held", 1, true,
         ">:  \"category\":  1,\n"
         ">:  \"synthEdit\": false,\n"
         ">:}\n"},
        {"fresh category with sub-plug-ins held", -1, true,
         ">:  \"category\":  -1,\n"
         ">:  \"synthEdit\": false,\n"
         ">:}\n"},
    };
    for (const SRow& row : rows) {
        CScanResult result;
        result.category = row.category;
        if (row.withShells) {
            result.shells.Add(Shell(0x53796E31, u"Synth 1"));
            result.shells.Add(Shell(-1, u"Minus / one"));
            result.shells.Add(Shell(INT_MIN, u"\u00E9"));
            result.shells.Add(new CShellInfo); // as created: id 0, name empty
        }
        EXPECT_EQ(Tail(Record(result)), row.tail) << row.what;
    }
}

TEST(ScanResult, NegativeIdIsWrittenAsEightHexDigits)
{
    const std::pair<int32_t, const char*> rows[] = {
        {-1, "FFFFFFFF"}, {-2, "FFFFFFFE"}, {INT_MIN, "80000000"}, {INT_MAX, "7FFFFFFF"}, {0xAB, "000000AB"}};
    for (const auto& row : rows) {
        CScanResult result;
        result.id = row.first;
        std::string record = Record(result);
        EXPECT_NE(record.find(std::string(">:  \"id\":        \"") + row.second + "\",\n"), std::string::npos)
            << record;
    }
}

TEST(ScanResult, NullShellEntryIsSkipped)
{
    CScanResult result;
    result.category = 10;
    result.shells.Add(nullptr);
    result.shells.Add(Shell(1, u"One"));
    EXPECT_EQ(Tail(Record(result)),
              ">:  \"category\":  10,\n"
              ">:  \"synthEdit\": false,\n"
              ">:  \"shells\": {\n"
              ">:        \"00000001\": \"One\",\n"
              ">:  },\n"
              ">:}\n");
}

TEST(ScanResult, WritingLeavesTheResultUnchanged)
{
    CScanResult result;
    result.name = Text(u"A/B");
    result.category = 10;
    result.shells.Add(Shell(5, u"x\"y"));
    std::string first = Record(result);
    EXPECT_EQ(Record(result), first);
    EXPECT_EQ(Narrow(result.name), "A/B");
    EXPECT_EQ(Narrow(result.shells.GetAt(0)->name), "x\"y");
}

TEST(ScanResult, DestroyingTheResultReleasesShellNames)
{
    CSharedStringW name = Text(u"Shared");
    {
        CScanResult result;
        result.name = name;
        for (int i = 0; i < 20; ++i) {
            CShellInfo* shell = new CShellInfo;
            shell->id = i;
            shell->name = name;
            result.shells.Add(shell);
        }
        EXPECT_EQ(name.GetRefCount(), 22);
    }
    EXPECT_EQ(name.GetRefCount(), 1) << "a shell entry or its name outlived the result";
}

} // namespace
