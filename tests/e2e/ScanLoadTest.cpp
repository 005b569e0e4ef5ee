// Library loading through the real server: what the host receives, byte for byte,
// when a library cannot be loaded, when a loaded library is no plug-in but carries
// a version resource, and what a plug-in's entry point gets from the host callback.

#include "HostSession.h"
#include "e2e/RecordText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

#ifdef _WIN64
const wchar_t kOtherArch[] = L"x86";
const size_t kPointerDigits = 16;
#else
const wchar_t kOtherArch[] = L"x64";
const size_t kPointerDigits = 8;
#endif

// A fixture of the other processor's build, which scripts/build makes beside this one:
// <root>\x64\bin\ and <root>\x86\bin\.
std::wstring OtherArchFixturePath(const std::wstring& name)
{
    return TestBinDir() + L"..\\..\\" + kOtherArch + L"\\bin\\fixtures\\" + name;
}

bool FileExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The module handle is wherever the loader put the library; everything else in the
// line is fixed. Replaces its digits with "<module>" when the line has the right form.
std::string MaskModuleHandle(std::string output)
{
    const std::string prefix = "info:Looking for entry point in module ";
    size_t at = output.find(prefix);
    if (at == std::string::npos)
        return output;
    size_t digits = at + prefix.size();
    size_t end = digits;
    while (end < output.size() && ((output[end] >= '0' && output[end] <= '9') || (output[end] >= 'A' && output[end] <= 'F')))
        ++end;
    if (end - digits == kPointerDigits && end < output.size() && output[end] == '\n')
        output.replace(digits, kPointerDigits, "<module>");
    return output;
}

std::string ScanningLine(const std::wstring& command)
{
    return "info:Scanning plugin: '" + Utf8(command) + "'\n";
}

// Everything a host receives for a library that the system refuses to load.
std::string LoadFailureAnswer(const std::wstring& command, int systemError)
{
    const std::string error = "Failed to load library, err=" + std::to_string(systemError);
    return ScanningLine(command) + "info:Loading library...\n" + "error:" + error + "\n" + FailedRecordText(error) +
           "ready:\n";
}

// Everything a host receives for a library that loads but exports no VST2 entry point.
std::string NotAPluginAnswer(const std::wstring& command, const std::string& version)
{
    SRecord record;
    record.error = "Entry point not found, not a VST plugin";
    record.version = version;
    return ScanningLine(command) + "info:Loading library...\n" + "info:Looking for entry point in module <module>\n" +
           "info:Freeing library...\n" + "info:Finished\n" + "error:" + record.error + "\n" + RecordText(record) +
           "ready:\n";
}

class ScanLoadTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_session.Start());
        std::string greeting = m_session.ReadUntilReady();
        ASSERT_GE(greeting.size(), 7u);
        ASSERT_EQ(greeting.substr(greeting.size() - 7), "ready:\n") << greeting;
    }

    std::string Scan(const std::wstring& command) { return m_session.Command(Utf8(command) + "\n"); }

    CHostSession m_session{ServerPath()};
};

struct SLoadFailure
{
    const char* what;
    std::wstring command;
    int systemError; // as Wine and Windows give it from LoadLibraryExW
};

TEST_F(ScanLoadTest, LoadFailuresReportTheSystemErrorCode)
{
    const std::wstring otherArch = OtherArchFixturePath(L"version_product.dll");
    ASSERT_TRUE(FileExists(otherArch)) << "build both processors first (scripts/build): " << Utf8(otherArch);

    const std::vector<SLoadFailure> cases = {
        {"missing file", FixturePath(L"no_such_plugin.dll"), 126},
        {"missing dependency", FixturePath(L"missing_dependency.dll"), 126},
        {"other processor's library", otherArch, 193},
        {"text file named .dll", FixturePath(L"notalib.dll"), 193},
        {"empty command", L"", 126},
        {"command starting with >", L">1f", 126},
    };
    for (const SLoadFailure& c : cases)
        EXPECT_EQ(Scan(c.command), LoadFailureAnswer(c.command, c.systemError)) << c.what;
}

TEST_F(ScanLoadTest, ScanningLineShowsTheCommandExactly)
{
    // The id and anything after it are part of the line; the load uses the path alone.
    const std::vector<std::wstring> commands = {
        FixturePath(L"no_such_plugin.dll") + L">7f",
        FixturePath(L"no such 'plugin' \x00C4\x00E9\x4E2D.dll") + L">00ff>7 tail",
        FixturePath(L"notalib.dll") + L">",
    };
    EXPECT_EQ(Scan(commands[0]), LoadFailureAnswer(commands[0], 126));
    EXPECT_EQ(Scan(commands[1]), LoadFailureAnswer(commands[1], 126));
    EXPECT_EQ(Scan(commands[2]), LoadFailureAnswer(commands[2], 193));
}

struct SVersionFallback
{
    const wchar_t* command; // in bin\fixtures\ .
    const char* version;    // the record's "version"
};

TEST_F(ScanLoadTest, LibraryVersionFillsTheVersionOfANonPlugin)
{
    const SVersionFallback cases[] = {
        {L"version_product.dll", "2.1.0.7"},       // product 2.1.0.7 over file 2.1.0.0
        {L"version_file_only.dll", "1.4.2.0"},     // product 0.0.0.0
        {L"version_product_low.dll", "0.0.0.1"},   // product 0.0.0.1
        {L"version_high_parts.dll", "65535.32768.1.65535"},
        {L"version_zero.dll", ""},
        {L"version_none.dll", ""},
        {L"version_product.dll>7f", "2.1.0.7"},    // the id does not reach the path
    };
    for (const SVersionFallback& c : cases) {
        const std::wstring command = FixturePath(c.command);
        EXPECT_EQ(MaskModuleHandle(Scan(command)), NotAPluginAnswer(command, c.version)) << Utf8(c.command);
    }
}

TEST_F(ScanLoadTest, FailedLoadAfterALoadedLibraryStillAnswersInFull)
{
    // A library that loads and is freed leaves nothing behind for the next command.
    const std::wstring loaded = FixturePath(L"version_product.dll");
    const std::wstring missing = FixturePath(L"missing_dependency.dll");
    EXPECT_EQ(MaskModuleHandle(Scan(loaded)), NotAPluginAnswer(loaded, "2.1.0.7"));
    EXPECT_EQ(Scan(missing), LoadFailureAnswer(missing, 126));
    EXPECT_EQ(MaskModuleHandle(Scan(loaded)), NotAPluginAnswer(loaded, "2.1.0.7"));
}

// The log of the callback_answers fixture: its entry point calls the host callback,
// reports every answer back as the capability text "answer <opcode> <value>" (and
// the like) of audioMasterCanDo, and returns NULL.
std::string CallbackAnswersLog(const std::string& currentId)
{
    struct SAsked
    {
        int opcode;
        const char* name;
        std::string answer;
        bool warns;
    };
    const SAsked asked[] = {
        {0, "audioMasterAutomate", "0", false},
        {1, "audioMasterVersion", "2400", false},
        {2, "audioMasterCurrentId", currentId, false},
        {6, "audioMasterWantMidi", "0", false},
        {14, "audioMasterNeedIdle", "1", false},
        {16, "audioMasterGetSampleRate", "44100", false},
        {17, "audioMasterGetBlockSize", "512", false},
        {23, "audioMasterGetCurrentProcessLevel", "4", false},
        {34, "audioMasterGetVendorVersion", "3", false},
        {15, "audioMasterSizeWindow", "0", true},
        {5, "<unknown>", "0", true},
        {50, "<unknown>", "0", true},
        {-1, "<unknown>", "0", true},
    };
    std::string log;
    for (const SAsked& a : asked) {
        const std::string opcode = std::to_string(a.opcode);
        log += "info:Audio master callback: " + opcode + " - " + a.name + "\n";
        if (a.warns)
            log += "warn:Unhandled audioMaster opCode - " + opcode + "\n";
        log += "info:Query host can do: 'answer " + opcode + " " + a.answer + "'\n";
    }
    // The 64-byte buffers get the text and its terminator, and nothing after it.
    log += "info:Audio master callback: 32 - audioMasterGetVendorString\n"
           "info:Query host can do: 'text 32 1 'Orvane Software' then x'\n"
           "info:Audio master callback: 33 - audioMasterGetProductString\n"
           "info:Query host can do: 'text 33 1 'Talvarine' then x'\n"
           "info:Audio master callback: 32 - audioMasterGetVendorString\n"
           "info:Query host can do: 'nullbuffer 32 0'\n"
           "info:Query host can do: 'SIZEWINDOW'\n"
           "info:Query host can do: 'cando 37 1'\n"
           "info:Query host can do: 'sizeWin'\n"
           "info:Query host can do: 'cando 37 0'\n"
           "info:Query host can do: '(null)'\n"
           "info:Query host can do: 'cando 37 0'\n";
    return log;
}

struct SEntryPointCase
{
    const wchar_t* id; // appended to the command
    const char* currentId;
};

TEST_F(ScanLoadTest, EntryPointGetsTheHostAnswersAndTheSubPluginId)
{
    // Both builds answer alike; an id with the top bit set comes back negative,
    // also where the answer is 64 bits wide.
    const SEntryPointCase cases[] = {
        {L"", "0"},
        {L">2e", "46"},
        {L">80000001", "-2147483647"},
    };
    for (const SEntryPointCase& c : cases) {
        const std::wstring command = FixturePath(L"callback_answers.dll") + c.id;
        SRecord record;
        record.error = "Entry point returned NULL";
        const std::string expected = ScanningLine(command) + "info:Loading library...\n" +
                                     "info:Looking for entry point in module <module>\n" +
                                     "info:Found VSTPluginMain()\n" + "info:Calling entry point...\n" +
                                     CallbackAnswersLog(c.currentId) + "info:Freeing library...\n" +
                                     "info:Finished\n" + "error:" + record.error + "\n" + RecordText(record) +
                                     "ready:\n";
        EXPECT_EQ(MaskModuleHandle(Scan(command)), expected) << Utf8(command);
    }
}

} // namespace
