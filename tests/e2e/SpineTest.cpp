// The spine of the server as a host sees it: start-up on inherited pipes, the
// ready marker, how one read becomes one command, the message-loop mode and the
// exit codes. Each command's answer is checked through its first line, which
// names the command exactly as the server understood it.

#include "host/HostSession.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace {

using namespace std::string_literals;


std::string ScanningLine(const std::string& command)
{
    return "info:Scanning plugin: '" + command + "'\n";
}

bool StartsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool EndsWith(const std::string& text, const std::string& suffix)
{
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The answer to one command: its first line names the command, the last thing
// in it is the next ready marker.
void ExpectAnswerTo(const std::string& answer, const std::string& command)
{
    EXPECT_TRUE(StartsWith(answer, ScanningLine(command))) << "answer: " << answer;
    EXPECT_TRUE(EndsWith(answer, kReady)) << "answer: " << answer;
}

void ExpectCleanExit(CHostSession& session)
{
    session.CloseCommands();
    session.ReadToEnd();
    EXPECT_EQ(session.WaitForExit(), 0u);
}

struct SCommandCase
{
    const char* name;
    std::string sent;     // the bytes of one WriteFile
    std::string expected; // the command the server must scan
};

const SCommandCase kCommandCases[] = {
    {"PathWithLineFeedLosesTheLineFeed", "C:\\VST\\Synth.dll\n", "C:\\VST\\Synth.dll"},
    {"ReadWithoutLineFeedIsTheWholeCommand", "C:\\VST\\Synth.dll", "C:\\VST\\Synth.dll"},
    {"SecondLineOfOneReadIsDropped", "C:\\VST\\One.dll\nC:\\VST\\Two.dll\n", "C:\\VST\\One.dll"},
    {"CarriageReturnStaysInTheCommand", "C:\\VST\\Synth.dll\r\n", "C:\\VST\\Synth.dll\r"},
    {"LoneLineFeedIsAnEmptyCommand", "\n", ""},
    {"ZeroByteEndsTheCommand", "C:\\VST\\Sy\0nth.dll\n"s, "C:\\VST\\Sy"},
    {"NonAsciiUtf8Survives", "C:\\VST\\Sy\xC3\xB1th \xE2\x82\xAC \xF0\x9F\x8E\xB9.dll\n",
     "C:\\VST\\Sy\xC3\xB1th \xE2\x82\xAC \xF0\x9F\x8E\xB9.dll"},
    {"InvalidUtf8ByteBecomesReplacementCharacter", "C:\\VST\\Bad\xFF.dll\n", "C:\\VST\\Bad\xEF\xBF\xBD.dll"},
    {"StrayContinuationByteBecomesReplacementCharacter", "C:\\VST\\Bad\x80.dll\n",
     "C:\\VST\\Bad\xEF\xBF\xBD.dll"},
};

// Failure messages name the row, not its bytes.
void PrintTo(const SCommandCase& row, std::ostream* out)
{
    *out << row.name;
}

class CommandCut : public testing::TestWithParam<SCommandCase>
{
};

TEST_P(CommandCut, OneReadIsOneCommand)
{
    const SCommandCase& row = GetParam();
    CHostSession session(ServerPath());
    ASSERT_TRUE(session.Start());
    ASSERT_EQ(session.ReadUntilReady(), kBanner + kReady);

    ASSERT_TRUE(session.Send(row.sent));
    ExpectAnswerTo(session.ReadUntilReady(), row.expected);

    // Whatever the read dropped must not turn up as a command of its own.
    ExpectAnswerTo(session.Command("C:\\VST\\Next.dll\n"), "C:\\VST\\Next.dll");
    ExpectCleanExit(session);
}

INSTANTIATE_TEST_SUITE_P(Spine, CommandCut, testing::ValuesIn(kCommandCases),
                         [](const testing::TestParamInfo<SCommandCase>& info) { return info.param.name; });

TEST(Spine, CommandLongerThanOneReadIsScannedInTwoPieces)
{
    CHostSession session(ServerPath());
    ASSERT_TRUE(session.Start());
    ASSERT_EQ(session.ReadUntilReady(), kBanner + kReady);

    std::string path = "C:\\VST\\";
    for (char c = 'a'; path.size() < 1500; c = c == 'z' ? 'a' : char(c + 1))
        path += c;
    ASSERT_TRUE(session.Send(path + "\n"));

    ExpectAnswerTo(session.ReadUntilReady(), path.substr(0, 1023));
    ExpectAnswerTo(session.ReadUntilReady(), path.substr(1023));
    ExpectAnswerTo(session.Command("C:\\VST\\Next.dll\n"), "C:\\VST\\Next.dll");
    ExpectCleanExit(session);
}

TEST(Spine, AnswersGoToStandardOutputWhenArgumentTwoIsZero)
{
    CHostSession session(ServerPath());
    session.RedirectStandardOutput();
    ASSERT_TRUE(session.Start(L"{in} 0 0"));
    ASSERT_EQ(session.ReadUntilReady(), kBanner + kReady);
    ExpectAnswerTo(session.Command("C:\\VST\\Synth.dll\n"), "C:\\VST\\Synth.dll");
    ExpectCleanExit(session);
}

TEST(Spine, HexadecimalArgumentEndsAtFirstNonDigit)
{
    CHostSession session(ServerPath());
    ASSERT_TRUE(session.Start(L"{in}z9 {out}z9 0"));
    ASSERT_EQ(session.ReadUntilReady(), kBanner + kReady);
    ExpectAnswerTo(session.Command("C:\\VST\\Synth.dll\n"), "C:\\VST\\Synth.dll");
    ExpectCleanExit(session);
}

struct SMessageLoopCase
{
    const char* name;
    const wchar_t* arguments;
    bool redirect; // the banner can reach us only through standard output
};

const SMessageLoopCase kMessageLoopCases[] = {
    {"PrefixedHandleCountsAsZero", L"0x1A4 {out} 0", false},
    {"NoArgumentsAtAll", L"", true},
};

void PrintTo(const SMessageLoopCase& row, std::ostream* out)
{
    *out << row.name;
}

class MessageLoop : public testing::TestWithParam<SMessageLoopCase>
{
};

TEST_P(MessageLoop, ServesNoCommandsAndEndsOnQuit)
{
    const SMessageLoopCase& row = GetParam();
    CHostSession session(ServerPath());
    if (row.redirect)
        session.RedirectStandardOutput();
    ASSERT_TRUE(session.Start(row.arguments));
    ASSERT_EQ(session.ReadUntil("\n"), kBanner);

    EXPECT_EQ(session.WaitForExit(500), DWORD(STILL_ACTIVE)) << "the message loop must keep the server alive";
    ASSERT_TRUE(session.PostQuit());
    EXPECT_EQ(session.WaitForExit(), 0u);
    EXPECT_EQ(session.ReadToEnd(), "") << "no ready marker and nothing else after the banner";
}

INSTANTIATE_TEST_SUITE_P(Spine, MessageLoop, testing::ValuesIn(kMessageLoopCases),
                         [](const testing::TestParamInfo<SMessageLoopCase>& info) { return info.param.name; });

TEST(Spine, ClosingTheCommandPipeEndsWithExitCodeZero)
{
    CHostSession session(ServerPath());
    ASSERT_TRUE(session.Start());
    ASSERT_EQ(session.ReadUntilReady(), kBanner + kReady);
    session.CloseCommands();
    EXPECT_EQ(session.ReadToEnd(), "") << "no ready marker after the command pipe ended";
    EXPECT_EQ(session.WaitForExit(), 0u);
}

TEST(Spine, QuitMessageDoesNotEndTheCommandLoop)
{
    CHostSession session(ServerPath());
    ASSERT_TRUE(session.Start());
    ASSERT_EQ(session.ReadUntilReady(), kBanner + kReady);
    ASSERT_TRUE(session.PostQuit());
    ExpectAnswerTo(session.Command("C:\\VST\\Synth.dll\n"), "C:\\VST\\Synth.dll");
    ExpectAnswerTo(session.Command("C:\\VST\\Next.dll\n"), "C:\\VST\\Next.dll");
    ExpectCleanExit(session);
}

TEST(Spine, HostThatStopsListeningDoesNotStopTheServer)
{
    CHostSession session(ServerPath());
    ASSERT_TRUE(session.Start());
    ASSERT_EQ(session.ReadUntilReady(), kBanner + kReady);
    session.CloseAnswers();

    // Every answer line and ready marker now fails to be written; the server
    // reaches the end of the commands, and so its exit, only if it shrugs that off.
    ASSERT_TRUE(session.Send("C:\\VST\\One.dll\n"));
    session.Send("C:\\VST\\Two.dll\n");
    session.Send("C:\\VST\\Three.dll\n");
    session.CloseCommands();
    EXPECT_EQ(session.WaitForExit(), 0u);
}

#ifdef _WIN64
// A 64-bit host drives the 32-bit server the same way; the x86 build sits
// beside this one when scripts/build made both.
TEST(Spine, SixtyFourBitHostDrivesThirtyTwoBitServer)
{
    const std::wstring server = TestBinDir() + L"..\\..\\x86\\bin\\TalvarineScanServer.x86.exe";
    if (GetFileAttributesW(server.c_str()) == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "no x86 build beside this one";
    CHostSession session(server);
    ASSERT_TRUE(session.Start());
    ASSERT_EQ(session.ReadUntilReady(), "info:Talvarine Plugin Scan Server (x86)\n" + kReady);
    ExpectAnswerTo(session.Command("C:\\VST\\Synth.dll\n"), "C:\\VST\\Synth.dll");
    ExpectCleanExit(session);
}
#endif

} // namespace
