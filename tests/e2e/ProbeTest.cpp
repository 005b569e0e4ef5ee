// The VST2 probe through the real server, one fixture plug-in per behaviour
// (tests/fixtures/plugins): what the host receives for each, byte for byte.
// Fixtures built with FIXTURE_ECHO report every dispatcher call they get, so
// these answers also pin down which questions are asked, and in which order.

#include "e2e/ScanAnswer.h"
#include "host/HostSession.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

#ifdef _WIN64
const std::wstring kDumpPrefix = L"ScanServer-x64-";
#else
const std::wstring kDumpPrefix = L"ScanServer-x86-";
#endif

// The questions of a complete probe of a plug-in that answers every effCanDo with -1.
const std::string kAllQuestions = Asked({"45", "47", "48", "35", "51 receiveVstMidiEvent", "51 receiveVstEvents",
                                         "51 sendVstMidiEvent", "51 sendVstEvents", "49"});
const std::string kCloseAsked = Asked({"1"});

// The lines from the entry-point search to effClose of a probe that gets that far.
std::string Probed(const std::string& duringProbe, const std::string& afterClose = std::string(),
                   const std::string& entryPoint = kFoundVstPluginMain)
{
    return kLookingForEntryPoint + entryPoint + kCallingEntryPoint + duringProbe + kClosing + afterClose;
}

struct SProbeCase
{
    std::wstring fixture;
    std::string probeLines; // from "Looking for entry point" up to the keep-or-free line
    bool kept = false;      // the library stays loaded (it listed sub-plug-ins)
    SRecord record;
};

void PrintTo(const SProbeCase& row, std::ostream* out)
{
    *out << Utf8(row.fixture);
}

std::string Name(const std::wstring& fixture)
{
    std::string name = Utf8(fixture.substr(0, fixture.size() - 4));
    for (char& c : name)
        if (c == '-')
            c = '_';
    return name;
}

const char kOddEscaped[] = R"(Tab\there \"quoted\" C:\\back\\slash 1\/2 \u0001\u001f\u007f\u00e9\u00ff)";
// The same text as it reaches the log: bytes widened one by one, then UTF-8.
const char kOddLogged[] = "Tab\there \"quoted\" C:\\back\\slash 1/2 \x01\x1f\x7f\xc3\xa9\xc3\xbf";

std::vector<SProbeCase> ProbeCases()
{
    std::vector<SProbeCase> rows;
    auto add = [&rows](const std::wstring& fixture) -> SProbeCase& {
        rows.push_back(SProbeCase());
        SProbeCase& row = rows.back();
        row.fixture = fixture;
        row.record = FixtureRecord(Utf8(fixture.substr(0, fixture.size() - 4)));
        return row;
    };

    {
        // The synth flag beats the category answer (1); receiveVstMidiEvent
        // answered yes, so receiveVstEvents is not asked; the vendor version
        // wins over the version resource (9.8.7.6).
        SProbeCase& row = add(L"synth.dll");
        row.probeLines = Probed(Asked({"45", "47", "48", "35", "51 receiveVstMidiEvent", "51 sendVstMidiEvent",
                                       "51 sendVstEvents", "49"}),
                                kCloseAsked);
        row.record.id = 0x53796E31;
        row.record.numInputs = 0;
        row.record.wantsMidi = true;
        row.record.version = "1.2.3.4";
        row.record.category = 2;
    }
    {
        // Category 0 with inputs becomes an effect; the double-replacing flag is audio64.
        SProbeCase& row = add(L"effect.dll");
        row.probeLines = Probed("");
        row.record.id = 0x45666631;
        row.record.version = "1.2.3.0";
        row.record.sendsMidi = true;
        row.record.audio64 = true;
    }
    {
        // Escapes in the record; no vendor text at all; a product that filled
        // the whole 512-byte buffer without a terminator is read up to byte 511.
        SProbeCase& row = add(L"odd-texts.dll");
        row.probeLines = Probed("");
        row.record.id = 0xFFFFFFFE;
        row.record.name = std::string(kOddEscaped) + R"(\nnext line)";
        row.record.vendor = "";
        row.record.product = std::string(511, 'p');
    }
    {
        SProbeCase& row = add(L"synthedit.dll");
        row.probeLines = Probed("");
        row.record.synthEdit = true;
    }
    {
        // Refused before its entry point runs (which would crash).
        SProbeCase& row = add(L"jbridge.dll");
        row.probeLines = kLookingForEntryPoint;
        row.record = SRecord();
        row.record.error = "Module is a jBridge bootstrap, ignoring";
    }
    {
        SProbeCase& row = add(L"main-only.dll");
        row.probeLines = Probed("", "", kFoundMain);
        row.record.product = "via main";
    }
    {
        SProbeCase& row = add(L"both-entry-points.dll");
        row.probeLines = Probed("");
    }
    {
        // The version resource stands in the record beside the error.
        SProbeCase& row = add(L"no-entry-point.dll");
        row.probeLines = kLookingForEntryPoint;
        row.record = SRecord();
        row.record.error = "Entry point not found, not a VST plugin";
        row.record.version = "2.1.0.7";
    }
    {
        SProbeCase& row = add(L"entry-null.dll");
        row.probeLines = kLookingForEntryPoint + kFoundVstPluginMain + kCallingEntryPoint;
        row.record = SRecord();
        row.record.error = "Entry point returned NULL";
    }
    {
        SProbeCase& row = add(L"bad-magic.dll");
        row.probeLines = kLookingForEntryPoint + kFoundVstPluginMain + kCallingEntryPoint;
        row.record = SRecord();
        row.record.error = "Bad magic";
    }
    {
        // 0 ("don't know") counts as yes and ends each pair of questions.
        SProbeCase& row = add(L"midi-dont-know.dll");
        row.probeLines = Probed(Asked({"45", "47", "48", "35", "51 receiveVstMidiEvent", "51 sendVstMidiEvent",
                                       "51 sendVstEvents", "49"}),
                                kCloseAsked);
        row.record.wantsMidi = true;
        row.record.sendsMidi = true;
    }
    {
        SProbeCase& row = add(L"midi-events.dll");
        row.probeLines = Probed(kAllQuestions, kCloseAsked);
        row.record.wantsMidi = true;
        row.record.sendsMidi = true;
    }
    {
        SProbeCase& row = add(L"midi-none.dll");
        row.probeLines = Probed(kAllQuestions, kCloseAsked);
    }
    {
        // Answers of -1 with garbage above the low 32 bits (64-bit build) are still "no".
        SProbeCase& row = add(L"midi-high-bits.dll");
        row.probeLines = Probed(kAllQuestions, kCloseAsked);
    }
    {
        // No to every question, but asked for MIDI through the host callback.
        SProbeCase& row = add(L"want-midi.dll");
        row.probeLines = Probed(Info("Audio master callback: 6 - audioMasterWantMidi") + kAllQuestions, kCloseAsked);
        row.record.wantsMidi = true;
    }
    {
        SProbeCase& row = add(L"category-0-no-inputs.dll");
        row.probeLines = Probed("");
        row.record.numInputs = 0;
        row.record.category = 2;
    }
    {
        // The category rule reads numInputs again, after the vendor version question changed it.
        SProbeCase& row = add(L"category-0-inputs-late.dll");
        row.probeLines = Probed("");
        row.record.numInputs = 0;
        row.record.category = 1;
    }
    {
        SProbeCase& row = add(L"category-11.dll");
        row.probeLines = Probed("");
        row.record.category = 11;
    }
    {
        SProbeCase& row = add(L"category-negative.dll");
        row.probeLines = Probed("");
        row.record.category = -3;
    }
    {
        // A synth that calls itself a shell is a synth, and is never asked for sub-plug-ins.
        SProbeCase& row = add(L"synth-flag-shell.dll");
        row.probeLines = Probed(kCurrentIdAsked + kAllQuestions, kCloseAsked);
        row.record.product = "CurrentId=00000000";
        row.record.category = 2;
    }
    {
        // Vendor version 0: the file version, since the product version is 0.0.0.0.
        SProbeCase& row = add(L"version-fallback.dll");
        row.probeLines = Probed("");
        row.record.version = "1.4.2.0";
    }
    {
        SProbeCase& row = add(L"version-vendor-wins.dll");
        row.probeLines = Probed("");
        row.record.version = "2.5.0.0";
    }
    {
        SProbeCase& row = add(L"shell.dll");
        row.probeLines = Probed(kCurrentIdAsked + Info("Found shell: 00000011 - Alpha") +
                                Info("Found shell: 00000022 - Beta") + Info("Found shell: 00000011 - Alpha") +
                                Info("   - duplicate, ignoring"));
        row.kept = true;
        row.record.id = 0x5368656C;
        row.record.product = "CurrentId=00000000";
        row.record.category = 10;
        row.record.shells = {{0x11, "Alpha"}, {0x22, "Beta"}};
    }
    {
        // A shell without sub-plug-ins: the empty shells block, and nothing to keep.
        SProbeCase& row = add(L"shell-empty.dll");
        row.probeLines = Probed(kCurrentIdAsked);
        row.record.product = "CurrentId=00000000";
        row.record.category = 10;
    }
    {
        // Ids with the top bit set; an empty name; a name of 513 bytes without
        // terminator, read up to the 512 characters the buffer was made for.
        SProbeCase& row = add(L"shell-odd.dll");
        const std::string longName(512, 'y');
        row.probeLines = Probed(kCurrentIdAsked + Info(std::string("Found shell: 80000001 - ") + kOddLogged) +
                                Info("Found shell: FFFFFFFF - ") + Info("Found shell: 7FFFFFFF - " + longName));
        row.kept = true;
        row.record.product = "CurrentId=00000000";
        row.record.category = 10;
        row.record.shells = {{0x80000001, kOddEscaped}, {0xFFFFFFFF, ""}, {0x7FFFFFFF, longName}};
    }
    // Exceptions that effClose leaves unhandled are swallowed without a word:
    // the result stands and the probe succeeds.
    for (const wchar_t* fixture : {L"close-access-violation.dll", L"close-raise.dll", L"close-foreign-cpp.dll"}) {
        SProbeCase& row = add(fixture);
        row.probeLines = Probed(kAllQuestions, kCloseAsked);
    }
    {
        // Exceptions that effClose handles itself stay its own business: it goes on afterwards.
        SProbeCase& row = add(L"close-handles-own.dll");
        row.probeLines =
            Probed(kAllQuestions, kCloseAsked + Info("Query host can do: 'effClose went on after its own exceptions'"));
    }
    return rows;
}

class ProbeTest : public TScanSessionTest<testing::TestWithParam<SProbeCase>>
{
};

TEST_P(ProbeTest, HostReceivesExactAnswer)
{
    const SProbeCase& row = GetParam();
    const std::string command = FixtureCommand(row.fixture);
    EXPECT_EQ(Scan(command), ScanningLine(command) + kLoading + row.probeLines + (row.kept ? kKeeping : kFreeing) +
                                 kFinished + AnswerEnd(row.record));
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ProbeTest, testing::ValuesIn(ProbeCases()),
                         [](const testing::TestParamInfo<SProbeCase>& info) { return Name(info.param.fixture); });

class ProbeSequenceTest : public ProbeTest
{
};

// audioMasterWantMidi during one probe says nothing about the next plug-in.
TEST_F(ProbeSequenceTest, WantMidiIsNotCarriedOverToTheNextProbe)
{
    const std::string wanting = FixtureCommand(L"want-midi.dll");
    const std::string plain = FixtureCommand(L"midi-none.dll");
    SRecord wants = FixtureRecord("want-midi");
    wants.wantsMidi = true;
    EXPECT_EQ(Scan(wanting),
              ScanningLine(wanting) + kLoading +
                  Probed(Info("Audio master callback: 6 - audioMasterWantMidi") + kAllQuestions, kCloseAsked) +
                  kFreeing + kFinished + AnswerEnd(wants));
    EXPECT_EQ(Scan(plain), ScanningLine(plain) + kLoading + Probed(kAllQuestions, kCloseAsked) + kFreeing + kFinished +
                               AnswerEnd(FixtureRecord("midi-none")));
}

// A plug-in that crashes outside effClose ends the server through the crash
// filter: exit code 9 and one dump in the folder given as argument 4.
struct SCrashCase
{
    const char* name;
    std::wstring fixture;
    std::string probeLines; // what the host receives of the probe before the crash
};

void PrintTo(const SCrashCase& row, std::ostream* out)
{
    *out << row.name;
}

const std::string kUpToEntryPoint = kLookingForEntryPoint + kFoundVstPluginMain + kCallingEntryPoint;

class ProbeCrashTest : public testing::TestWithParam<SCrashCase>
{
protected:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        m_folder = std::wstring(temp) + L"probe-crash-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                   std::to_wstring(GetTickCount());
        ASSERT_TRUE(CreateDirectoryW(m_folder.c_str(), nullptr));
    }

    void TearDown() override
    {
        for (const std::wstring& file : Files())
            DeleteFileW((m_folder + L"\\" + file).c_str());
        RemoveDirectoryW(m_folder.c_str());
    }

    std::vector<std::wstring> Files() const
    {
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((m_folder + L"\\*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            return names;
        do {
            std::wstring name = found.cFileName;
            if (name != L"." && name != L"..")
                names.push_back(name);
        } while (FindNextFileW(search, &found));
        FindClose(search);
        return names;
    }

    std::wstring m_folder;
};

TEST_P(ProbeCrashTest, EndsWithExitCode9AndADump)
{
    const SCrashCase& row = GetParam();
    CHostSession session(ServerPath());
    ASSERT_TRUE(session.Start(L"{in} {out} 0 \"" + m_folder + L"\""));
    ASSERT_EQ(session.ReadUntilReady(), kBanner + kReady);

    const std::string command = FixtureCommand(row.fixture);
    ASSERT_TRUE(session.Send(command + "\n"));
    EXPECT_EQ(MaskModuleAddresses(session.ReadToEnd()), ScanningLine(command) + kLoading + row.probeLines);
    EXPECT_EQ(session.WaitForExit(), 9u);

    std::vector<std::wstring> files = Files();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].compare(0, kDumpPrefix.size(), kDumpPrefix), 0) << Utf8(files[0]);
    EXPECT_EQ(files[0].substr(files[0].size() - 5), L".mdmp") << Utf8(files[0]);
}

INSTANTIATE_TEST_SUITE_P(
    Crashes, ProbeCrashTest,
    testing::Values(SCrashCase{"AccessViolationInEntryPoint", L"crash.dll", kUpToEntryPoint},
                    SCrashCase{"AccessViolationInDispatcher", L"dispatch-crash.dll", kUpToEntryPoint},
                    // The plug-in's own filters (it would exit with 77) are replaced again
                    // after the library is loaded, after the entry point returns ...
                    SCrashCase{"OwnFilterFromEntryPointThenDispatcherCrash", L"own-filter-in-entry.dll",
                               kUpToEntryPoint},
                    SCrashCase{"OwnFilterFromLibraryStartUpThenEntryPointCrash", L"own-filter-at-load.dll",
                               kUpToEntryPoint},
                    // ... and after effClose, before the messages its window gets crash it.
                    SCrashCase{"OwnFilterFromEffCloseThenWindowProcedureCrash", L"own-filter-in-close.dll",
                               kUpToEntryPoint + kClosing}),
    [](const testing::TestParamInfo<SCrashCase>& info) { return info.param.name; });

} // namespace
