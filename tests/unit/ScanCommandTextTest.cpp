#include "probe/ScanCommandText.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct SSplitCase
{
    const char16_t* command;
    const char16_t* path;
    int32_t id;
};

const SSplitCase kSplitCases[] = {
    {u"C:\\VST\\Shell.dll", u"C:\\VST\\Shell.dll", 0},
    {u"C:\\VST\\Shell.dll>7f", u"C:\\VST\\Shell.dll", 0x7F},
    {u"C:\\VST\\Shell.dll>7F", u"C:\\VST\\Shell.dll", 0x7F},
    {u"C:\\VST\\Shell.dll>", u"C:\\VST\\Shell.dll", 0},
    {u"C:\\VST\\Shell.dll>12g4", u"C:\\VST\\Shell.dll", 0x12},
    {u"C:\\VST\\Shell.dll>123456789", u"C:\\VST\\Shell.dll", 0x23456789},
    {u"C:\\VST\\Shell.dll>00ff>7", u"C:\\VST\\Shell.dll", 0xFF},
    {u"C:\\VST\\Shell.dll>aBcDeF01", u"C:\\VST\\Shell.dll", int32_t(0xABCDEF01u)},
    {u"C:\\VST\\Shell.dll>ffffffff", u"C:\\VST\\Shell.dll", -1},
    {u"C:\\VST\\Shell.dll> 7f", u"C:\\VST\\Shell.dll", 0},
    {u"C:\\VST\\Shell.dll>0x7f", u"C:\\VST\\Shell.dll", 0},
    {u"C:\\VST\\Shell.dll>-7f", u"C:\\VST\\Shell.dll", 0},
    {u"C:\\VST\\Shell.dll>7f\r", u"C:\\VST\\Shell.dll", 0x7F},
    {u" c:\\vst\\SHELL.dll \r", u" c:\\vst\\SHELL.dll \r", 0},
    {u"C:/VST/../Shell.dll>2e", u"C:/VST/../Shell.dll", 0x2E},
    {u">7f", u"", 0x7F},
    {u"", u"", 0},
};

std::u16string Text(const CSharedStringW& text) { return std::u16string(text.CStr(), size_t(text.GetLength())); }

TEST(ScanCommandTextTest, SplitsPathAndIdAtTheFirstMark)
{
    for (const SSplitCase& row : kSplitCases) {
        CSharedStringW command;
        command.Assign(row.command);
        CSharedStringW path;
        int32_t id = 12345;
        SplitScanCommand(command, path, id);
        std::string label(row.command, row.command + CSharedStringW::Measure(row.command));
        EXPECT_EQ(Text(path), std::u16string(row.path)) << label;
        EXPECT_EQ(id, row.id) << label;
    }
}

TEST(ScanCommandTextTest, CommandWithoutMarkIsSharedNotCopied)
{
    CSharedStringW command;
    command.Assign(u"C:\\VST\\Plain.dll");
    CSharedStringW path;
    int32_t id = 7;
    SplitScanCommand(command, path, id);
    EXPECT_EQ(path.Get(), command.Get());
    EXPECT_EQ(id, 0);
}

TEST(ScanCommandTextTest, PathBeforeMarkIsItsOwnText)
{
    CSharedStringW command;
    command.Assign(u"C:\\VST\\Shell.dll>2e");
    CSharedStringW path;
    int32_t id = 0;
    SplitScanCommand(command, path, id);
    command.Release();
    EXPECT_EQ(Text(path), std::u16string(u"C:\\VST\\Shell.dll"));
    EXPECT_EQ(path.GetLength(), 16);
}

TEST(ScanCommandTextTest, NullCommandIsAnEmptyPath)
{
    CSharedStringW command;
    CSharedStringW path;
    int32_t id = 3;
    SplitScanCommand(command, path, id);
    EXPECT_TRUE(path.IsEmpty());
    EXPECT_EQ(id, 0);
}

TEST(ScanCommandTextTest, ParseShellIdKeepsTheLastEightDigits)
{
    EXPECT_EQ(ParseShellId(u""), 0);
    EXPECT_EQ(ParseShellId(u"g"), 0);
    EXPECT_EQ(ParseShellId(u"80000000"), INT32_MIN);
    EXPECT_EQ(ParseShellId(u"fedcba9876543210"), 0x76543210);
    EXPECT_EQ(ParseShellId(u"09afAF"), 0x09AFAF);
}

} // namespace
