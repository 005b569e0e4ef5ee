// The one-library cache through the real server: a shell's library stays loaded
// for the commands that scan its sub-plug-ins, the sub-plug-in id reaches the
// plug-in only while it is probed, and anything else frees the library. Each
// answer is compared byte for byte; the shell fixture reports the id it got as
// its product text ("CurrentId=...").

#include "e2e/ScanAnswer.h"
#include "host/HostSession.h"

#include <gtest/gtest.h>

#include <string>

namespace {


const std::string kShellListed = Info("Found shell: 00000011 - Alpha") + Info("Found shell: 00000022 - Beta") +
                                 Info("Found shell: 00000011 - Alpha") + Info("   - duplicate, ignoring");

// The probe of the shell fixture up to effClose; `listed` when it lists its sub-plug-ins.
std::string ShellProbe(bool listed)
{
    return kLookingForEntryPoint + kFoundVstPluginMain + kCallingEntryPoint + kCurrentIdAsked +
           (listed ? kShellListed : std::string()) + kClosing;
}

SRecord ShellRecord()
{
    SRecord record = FixtureRecord("shell");
    record.id = 0x5368656C;
    record.product = "CurrentId=00000000";
    record.category = 10;
    record.shells = {{0x11, "Alpha"}, {0x22, "Beta"}};
    return record;
}

SRecord SubPluginRecord(uint32_t id)
{
    SRecord record = FixtureRecord(id == 0x11 ? "Alpha" : "Beta");
    record.id = id;
    record.product = "CurrentId=" + RecordHex(id);
    record.category = id == 0x11 ? 1 : 2;
    return record;
}

SRecord EffectRecord()
{
    SRecord record = FixtureRecord("effect");
    record.id = 0x45666631;
    record.version = "1.2.3.0";
    record.sendsMidi = true;
    record.audio64 = true;
    return record;
}

const std::string kPlainProbe = kLookingForEntryPoint + kFoundVstPluginMain + kCallingEntryPoint + kClosing;

std::string LoadFailure(const std::string& command, const std::string& before)
{
    const std::string error = "Failed to load library, err=126";
    return ScanningLine(command) + before + kLoading + "error:" + error + "\n" + FailedRecordText(error) + kReady;
}

class ScanCacheTest : public TScanSessionTest<>
{
};

const std::string kShell = FixtureCommand(L"shell.dll");
const std::string kEffect = FixtureCommand(L"effect.dll");

TEST_F(ScanCacheTest, ShellLibraryServesItsSubPluginCommandsUntilAnotherPathComes)
{
    EXPECT_EQ(Scan(kShell),
              ScanningLine(kShell) + kLoading + ShellProbe(true) + kKeeping + kFinished + AnswerEnd(ShellRecord()));

    // Each sub-plug-in command calls the entry point of the loaded library
    // again, and the plug-in gets that command's id while it is probed.
    EXPECT_EQ(Scan(kShell + ">22"), ScanningLine(kShell + ">22") + kReusing + ShellProbe(false) + kKeeping + kFinished +
                                        AnswerEnd(SubPluginRecord(0x22)));
    EXPECT_EQ(Scan(kShell + ">11"), ScanningLine(kShell + ">11") + kReusing + ShellProbe(false) + kKeeping + kFinished +
                                        AnswerEnd(SubPluginRecord(0x11)));

    // Between probes the id is 0 again: the same path without an id is the shell itself.
    EXPECT_EQ(Scan(kShell),
              ScanningLine(kShell) + kReusing + ShellProbe(true) + kKeeping + kFinished + AnswerEnd(ShellRecord()));

    EXPECT_EQ(Scan(kEffect), ScanningLine(kEffect) + kFreeingCached + kLoading + kPlainProbe + kFreeing + kFinished +
                                 AnswerEnd(EffectRecord()));
    // A library without shells is not kept.
    EXPECT_EQ(Scan(kEffect),
              ScanningLine(kEffect) + kLoading + kPlainProbe + kFreeing + kFinished + AnswerEnd(EffectRecord()));

    m_session.CloseCommands();
    EXPECT_EQ(m_session.ReadToEnd(), "");
    EXPECT_EQ(m_session.WaitForExit(), 0u);
}

TEST_F(ScanCacheTest, ShutDownFreesTheCachedLibrary)
{
    Scan(kShell);
    m_session.CloseCommands();
    EXPECT_EQ(m_session.ReadToEnd(), kFreeingCached);
    EXPECT_EQ(m_session.WaitForExit(), 0u);
}

TEST_F(ScanCacheTest, CachedLibraryStaysWhenItsProbeFails)
{
    Scan(kShell);
    // The shell has no sub-plug-in 0x99 and answers with a record of the wrong magic.
    SRecord failed;
    failed.error = "Bad magic";
    EXPECT_EQ(Scan(kShell + ">99"), ScanningLine(kShell + ">99") + kReusing + kLookingForEntryPoint +
                                        kFoundVstPluginMain + kCallingEntryPoint + kCurrentIdAsked + kKeeping +
                                        kFinished + AnswerEnd(failed));
    EXPECT_EQ(Scan(kShell + ">22"), ScanningLine(kShell + ">22") + kReusing + ShellProbe(false) + kKeeping + kFinished +
                                        AnswerEnd(SubPluginRecord(0x22)));
}

TEST_F(ScanCacheTest, FailedLoadAfterACachedLibraryLeavesNothingCached)
{
    Scan(kShell);
    const std::string missing = FixtureCommand(L"no-such-plugin.dll");
    EXPECT_EQ(Scan(missing), LoadFailure(missing, kFreeingCached));

    // Loaded afresh, and freed after its probe: a sub-plug-in lists no shells.
    EXPECT_EQ(Scan(kShell + ">22"), ScanningLine(kShell + ">22") + kLoading + ShellProbe(false) + kFreeing + kFinished +
                                        AnswerEnd(SubPluginRecord(0x22)));
    EXPECT_EQ(Scan(kShell),
              ScanningLine(kShell) + kLoading + ShellProbe(true) + kKeeping + kFinished + AnswerEnd(ShellRecord()));
}

TEST_F(ScanCacheTest, CommandWithoutPathFailsToLoadAndFreesTheCache)
{
    Scan(kShell);
    EXPECT_EQ(Scan(">7f"), LoadFailure(">7f", kFreeingCached));
    EXPECT_EQ(Scan(">7f"), LoadFailure(">7f", ""));
}

struct SSpellingCase
{
    const char* name;
    std::wstring path; // the shell fixture, written another way
};

class ScanCacheSpellingTest : public ScanCacheTest, public testing::WithParamInterface<SSpellingCase>
{
};

// The same file written another way is another path to the cache: no case
// folding and no normalisation, so the library is freed and loaded again.
TEST_P(ScanCacheSpellingTest, OtherSpellingOfTheCachedPathLoadsAgain)
{
    const std::string other = Utf8(GetParam().path);
    Scan(kShell);
    EXPECT_EQ(Scan(other), ScanningLine(other) + kFreeingCached + kLoading + ShellProbe(true) + kKeeping + kFinished +
                               AnswerEnd(ShellRecord()));
    EXPECT_EQ(Scan(other + ">22"), ScanningLine(other + ">22") + kReusing + ShellProbe(false) + kKeeping + kFinished +
                                       AnswerEnd(SubPluginRecord(0x22)));
    EXPECT_EQ(Scan(kShell), ScanningLine(kShell) + kFreeingCached + kLoading + ShellProbe(true) + kKeeping +
                                kFinished + AnswerEnd(ShellRecord()));
}

INSTANTIATE_TEST_SUITE_P(Spellings, ScanCacheSpellingTest,
                         testing::Values(SSpellingCase{"UpperCaseName", FixturePath(L"SHELL.DLL")},
                                         SSpellingCase{"DotSegment", TestBinDir() + L"fixtures\\.\\shell.dll"},
                                         SSpellingCase{"ForwardSlash", TestBinDir() + L"fixtures/shell.dll"}),
                         [](const testing::TestParamInfo<SSpellingCase>& info) { return info.param.name; });

} // namespace
