#include "app/LogLine.h"
#include "unit/OutputCapture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(LogLine, ClosingBraceOfRecordIsFourBytes)
{
    COutputCapture capture;
    LogReport(u"}\n");
    EXPECT_EQ(capture.Take(), std::string("\x3E\x3A\x7D\x0A"));
}

struct SLineRow
{
    const char* name;
    void (*write)();
    std::string expected;
};

TEST(LogLine, LinesAreLevelColonAndUtf8Message)
{
    const SLineRow rows[] = {
        {"info with its line feed", [] { LogInfo(u"Freed\n"); }, "info:Freed\n"},
        {"error level", [] { LogError(u"%s\n", u"Bad magic"); }, "error:Bad magic\n"},
        {"warn level", [] { LogWarn(u"Unhandled audioMaster opCode - %i\n", 42); }, "warn:Unhandled audioMaster opCode - 42\n"},
        {"report level", [] { LogReport(u"{\n"); }, ">:{\n"},
        {"non-ASCII wide argument in UTF-8",
         [] { LogInfo(u"Scanning plugin: '%s'\n", u"C:\\VST\\Synth\u00E9\u20AC.dll"); },
         "info:Scanning plugin: 'C:\\VST\\Synth\xC3\xA9\xE2\x82\xAC.dll'\n"},
        {"surrogate pair is one 4-byte sequence", [] { LogInfo(u"%s\n", u"\U0001F3B9"); }, "info:\xF0\x9F\x8E\xB9\n"},
        {"lone surrogate becomes U+FFFD", [] {
             const char16_t lone[] = {0xDC00, 0};
             LogInfo(u"%s\n", lone);
         },
         "info:\xEF\xBF\xBD\n"},
        {"%S bytes from 0x80 up are encoded twice",
         [] { LogInfo(u"Query host can do: '%S'\n", "\x80\xC3\xA9\xFF"); },
         "info:Query host can do: '\xC2\x80\xC3\x83\xC2\xA9\xC3\xBF'\n"},
        {"null text prints (null)", [] {
             const char16_t* none = nullptr;
             LogError(u"%s\n", none);
         },
         "error:(null)\n"},
        {"empty message leaves level and colon", [] { LogInfo(u""); }, "info:"},
        {"lone line feed is kept", [] { LogInfo(u"\n"); }, "info:\n"},
    };
    for (const SLineRow& row : rows) {
        COutputCapture capture;
        row.write();
        EXPECT_EQ(capture.Take(), row.expected) << row.name;
    }
}

TEST(LogLine, InnerLineFeedsCannotForgeLines)
{
    const SLineRow rows[] = {
        {"line feeds inside an argument are escaped",
         [] { LogInfo(u"Found shell: %.8X - %S\n", 1, "Evil\n>:{\n>:}"); },
         "info:Found shell: 00000001 - Evil\\n>:{\\n>:}\n"},
        {"a final line feed from an argument is escaped too",
         [] { LogInfo(u"Query host can do: '%S'\n", "x\n"); },
         "info:Query host can do: 'x\\n'\n"},
        {"a message without a final line feed escapes all",
         [] { LogInfo(u"a\nb"); },
         "info:a\\nb"},
        {"consecutive line feeds",
         [] { LogInfo(u"%s\n", u"\n\n"); },
         "info:\\n\\n\n"},
        {"carriage returns pass unchanged",
         [] { LogInfo(u"%s\n", u"C:\\a.dll\r"); },
         "info:C:\\a.dll\r\n"},
    };
    for (const SLineRow& row : rows) {
        COutputCapture capture;
        row.write();
        EXPECT_EQ(capture.Take(), row.expected) << row.name;
    }
}

std::vector<std::string>& Writes()
{
    static std::vector<std::string> writes;
    return writes;
}

void RecordWrite(const char* bytes, int count) { Writes().emplace_back(bytes, size_t(count)); }

TEST(LogLine, EachLineIsOneWriteWithoutTerminator)
{
    Writes().clear();
    SetHostOutput(&RecordWrite);
    LogInfo(u"Loading library...\n");
    LogReport(u"  \"name\": \"%s\",\n", u"Synth");
    SetHostOutput(nullptr);
    ASSERT_EQ(Writes().size(), 2u);
    EXPECT_EQ(Writes()[0], "info:Loading library...\n");
    EXPECT_EQ(Writes()[1], ">:  \"name\": \"Synth\",\n");
}

TEST(LogLine, WithoutOutputLinesAreDropped)
{
    SetHostOutput(nullptr);
    LogInfo(u"nobody listens\n");
    COutputCapture capture;
    EXPECT_EQ(capture.Take(), "");
}

} // namespace
