#include "probe/HostCallback.h"

#include "unit/OutputCapture.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>

namespace {

// What the plug-in passes as the pointer argument in a row.
enum EPointer
{
    kNoPointer,   // null
    kText,        // the row's 8-bit text
    kHostBuffer,  // a 64-byte buffer, filled with 0xCC beforehand
};

struct SCallbackCase
{
    const char* what;
    int32_t opcode;
    EPointer pointer;
    const char* text;       // kText: the text passed
    int32_t shellId;        // CurrentShellId during the call
    intptr_t answer;
    const char* output;     // every byte the call writes to the host
    const char* bufferText; // kHostBuffer: the text expected in it, with its terminator
};

constexpr int32_t kTopBitId = int32_t(0x80000001u);

const SCallbackCase kCases[] = {
    {"automate answers 0 without a warning", 0, kNoPointer, nullptr, 0, 0,
     "info:Audio master callback: 0 - audioMasterAutomate\n", nullptr},
    {"version is VST 2.4", 1, kNoPointer, nullptr, 0, 2400,
     "info:Audio master callback: 1 - audioMasterVersion\n", nullptr},
    {"current id outside a sub-plug-in probe is 0", 2, kNoPointer, nullptr, 0, 0,
     "info:Audio master callback: 2 - audioMasterCurrentId\n", nullptr},
    {"current id is the command's sub-plug-in id", 2, kNoPointer, nullptr, 0x2E, 0x2E,
     "info:Audio master callback: 2 - audioMasterCurrentId\n", nullptr},
    {"current id keeps its sign when widened", 2, kNoPointer, nullptr, kTopBitId, intptr_t(kTopBitId),
     "info:Audio master callback: 2 - audioMasterCurrentId\n", nullptr},
    {"want MIDI answers 0", 6, kNoPointer, nullptr, 0, 0,
     "info:Audio master callback: 6 - audioMasterWantMidi\n", nullptr},
    {"need idle answers 1", 14, kNoPointer, nullptr, 0, 1,
     "info:Audio master callback: 14 - audioMasterNeedIdle\n", nullptr},
    {"sample rate is 44100", 16, kNoPointer, nullptr, 0, 44100,
     "info:Audio master callback: 16 - audioMasterGetSampleRate\n", nullptr},
    {"block size is 512", 17, kNoPointer, nullptr, 0, 512,
     "info:Audio master callback: 17 - audioMasterGetBlockSize\n", nullptr},
    {"process level is offline", 23, kNoPointer, nullptr, 0, 4,
     "info:Audio master callback: 23 - audioMasterGetCurrentProcessLevel\n", nullptr},
    {"vendor string fills the buffer", 32, kHostBuffer, nullptr, 0, 1,
     "info:Audio master callback: 32 - audioMasterGetVendorString\n", "Orvane Software"},
    {"product string fills the buffer", 33, kHostBuffer, nullptr, 0, 1,
     "info:Audio master callback: 33 - audioMasterGetProductString\n", "Talvarine"},
    {"vendor string without a buffer writes nothing", 32, kNoPointer, nullptr, 0, 0,
     "info:Audio master callback: 32 - audioMasterGetVendorString\n", nullptr},
    {"product string without a buffer writes nothing", 33, kNoPointer, nullptr, 0, 0,
     "info:Audio master callback: 33 - audioMasterGetProductString\n", nullptr},
    {"vendor version is 3", 34, kNoPointer, nullptr, 0, 3,
     "info:Audio master callback: 34 - audioMasterGetVendorVersion\n", nullptr},

    {"named but unanswered opcode warns", 15, kNoPointer, nullptr, 0, 0,
     "info:Audio master callback: 15 - audioMasterSizeWindow\n"
     "warn:Unhandled audioMaster opCode - 15\n",
     nullptr},
    {"last named opcode warns", 49, kNoPointer, nullptr, 0, 0,
     "info:Audio master callback: 49 - audioMasterGetInputSpeakerArrangement\n"
     "warn:Unhandled audioMaster opCode - 49\n",
     nullptr},
    {"opcode 5 has no name", 5, kNoPointer, nullptr, 0, 0,
     "info:Audio master callback: 5 - <unknown>\n"
     "warn:Unhandled audioMaster opCode - 5\n",
     nullptr},
    {"opcode 50 has no name", 50, kNoPointer, nullptr, 0, 0,
     "info:Audio master callback: 50 - <unknown>\n"
     "warn:Unhandled audioMaster opCode - 50\n",
     nullptr},
    {"opcode 1000 has no name", 1000, kNoPointer, nullptr, 0, 0,
     "info:Audio master callback: 1000 - <unknown>\n"
     "warn:Unhandled audioMaster opCode - 1000\n",
     nullptr},
    {"negative opcode has no name", -1, kNoPointer, nullptr, 0, 0,
     "info:Audio master callback: -1 - <unknown>\n"
     "warn:Unhandled audioMaster opCode - -1\n",
     nullptr},

    {"can do a listed capability", 37, kText, "receiveVstMidiEvent", 0, 1,
     "info:Query host can do: 'receiveVstMidiEvent'\n", nullptr},
    {"can do ignores ASCII case", 37, kText, "SIZEWINDOW", 0, 1, "info:Query host can do: 'SIZEWINDOW'\n", nullptr},
    {"can do the shell category", 37, kText, "ShellCategory", 0, 1, "info:Query host can do: 'ShellCategory'\n",
     nullptr},
    {"can do the last capability", 37, kText, "sendVstMidiEventFlagIsRealtime", 0, 1,
     "info:Query host can do: 'sendVstMidiEventFlagIsRealtime'\n", nullptr},
    {"cannot do offline", 37, kText, "offline", 0, 0, "info:Query host can do: 'offline'\n", nullptr},
    {"a prefix of a capability is not it", 37, kText, "sizeWin", 0, 0, "info:Query host can do: 'sizeWin'\n",
     nullptr},
    {"a capability with more after it is not it", 37, kText, "sizeWindows", 0, 0,
     "info:Query host can do: 'sizeWindows'\n", nullptr},
    {"cannot do the empty text", 37, kText, "", 0, 0, "info:Query host can do: ''\n", nullptr},
    {"can do with a null text reads nothing", 37, kNoPointer, nullptr, 0, 0, "info:Query host can do: '(null)'\n",
     nullptr},
};

class HostCallbackTest : public testing::TestWithParam<SCallbackCase>
{
protected:
    void TearDown() override
    {
        CurrentShellId = 0;
        PluginWantsMidi = false;
    }
};

TEST_P(HostCallbackTest, AnswersAndLogsExactly)
{
    const SCallbackCase& c = GetParam();
    unsigned char buffer[64];
    std::memset(buffer, 0xCC, sizeof buffer);
    void* ptr = nullptr;
    if (c.pointer == kText)
        ptr = const_cast<char*>(c.text);
    else if (c.pointer == kHostBuffer)
        ptr = buffer;

    COutputCapture capture;
    CurrentShellId = c.shellId;
    intptr_t answer = HostCallback(nullptr, c.opcode, 7, 99, ptr, 0.5f);

    EXPECT_EQ(answer, c.answer);
    EXPECT_EQ(capture.Take(), c.output);
    if (c.pointer == kHostBuffer) {
        size_t length = std::strlen(c.bufferText);
        EXPECT_EQ(std::memcmp(buffer, c.bufferText, length + 1), 0);
        for (size_t i = length + 1; i < sizeof buffer; ++i)
            EXPECT_EQ(buffer[i], 0xCC) << "byte " << i << " past the terminator was written";
    }
}

INSTANTIATE_TEST_SUITE_P(Opcodes, HostCallbackTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<SCallbackCase>& info) {
                             std::string name;
                             for (const char* p = info.param.what; *p; ++p)
                                 name += (std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_');
                             return name;
                         });

TEST(HostCallbackState, WantMidiSetsTheFlagThatTheProbeClears)
{
    COutputCapture capture;
    PluginWantsMidi = false;
    EXPECT_EQ(HostCallback(nullptr, audioMasterWantMidi, 0, 0, nullptr, 0.0f), 0);
    EXPECT_TRUE(PluginWantsMidi);
    EXPECT_EQ(HostCallback(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f), 2400);
    EXPECT_TRUE(PluginWantsMidi) << "another call must not clear the flag";
    PluginWantsMidi = false;
}

TEST(HostCallbackState, TopBitShellIdComesBackNegative)
{
    COutputCapture capture;
    CurrentShellId = kTopBitId;
    intptr_t answer = HostCallback(nullptr, audioMasterCurrentId, 0, 0, nullptr, 0.0f);
    CurrentShellId = 0;
    EXPECT_LT(answer, 0);
    EXPECT_EQ(answer, intptr_t(-2147483647));
}

TEST(HostCallbackTables, OpcodeNamesCoverZeroToFortyNineWithoutFive)
{
    int32_t expected = 0;
    for (const SAudioMasterOpcodeName& row : kAudioMasterOpcodeNames) {
        if (expected == 5)
            ++expected;
        EXPECT_EQ(row.opcode, expected);
        EXPECT_EQ(std::strncmp(row.name, "audioMaster", 11), 0) << row.name;
        ++expected;
    }
    EXPECT_EQ(expected, 50);
    EXPECT_STREQ(kAudioMasterOpcodeNames[36].name, "audioMasterCanDo");
}

TEST(HostCallbackTables, HostTextsFitTheVstBuffer)
{
    EXPECT_STREQ(kHostVendorText, "Orvane Software");
    EXPECT_STREQ(kHostProductText, "Talvarine");
    EXPECT_STREQ(kHostCapabilities[0], "sizeWindow");
    EXPECT_STREQ(kHostCapabilities[kHostCapabilityCount - 1], "shellCategory");
}

} // namespace
