#pragma once

// The lines a host receives for one scan, as pieces to put together, so that
// the scan tests compare whole answers byte for byte. Built on RecordText.h.

#include "e2e/RecordText.h"
#include "host/HostSession.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#ifdef _WIN64
constexpr size_t kModuleDigits = 16;
#else
constexpr size_t kModuleDigits = 8;
#endif

inline std::string Info(const std::string& text)
{
    return "info:" + text + "\n";
}

inline std::string ScanningLine(const std::string& command)
{
    return Info("Scanning plugin: '" + command + "'");
}

const std::string kLoading = Info("Loading library...");
const std::string kReusing = Info("Re-using previous library instance...");
const std::string kFreeingCached = Info("Freeing cached library...") + Info("Freed");
const std::string kLookingForEntryPoint = Info("Looking for entry point in module <module>");
const std::string kFoundVstPluginMain = Info("Found VSTPluginMain()");
const std::string kFoundMain = Info("Found main()");
const std::string kCallingEntryPoint = Info("Calling entry point...");
const std::string kClosing = Info("Dispatching effClose...");
const std::string kKeeping = Info("Keeping shell library loaded for now...");
const std::string kFreeing = Info("Freeing library...");
const std::string kFinished = Info("Finished");

// The host-callback line of audioMasterCurrentId, which every shell fixture asks in its entry point.
const std::string kCurrentIdAsked = Info("Audio master callback: 2 - audioMasterCurrentId");

// What a fixture built with FIXTURE_ECHO reports for each dispatcher call, in order:
// "45" for a question, "51 receiveVstMidiEvent" for effCanDo with its text.
inline std::string Asked(std::initializer_list<const char*> questions)
{
    std::string lines;
    for (const char* question : questions)
        lines += Info(std::string("Query host can do: 'asked ") + question + "'");
    return lines;
}

// The error line (when the scan failed), the record and the next ready marker.
inline std::string AnswerEnd(const SRecord& record)
{
    return (record.error.empty() ? std::string() : "error:" + record.error + "\n") + RecordText(record) + kReady;
}

// The module handle is wherever the loader put the library; everything else in
// the line is fixed. Replaces the digits of every such line with "<module>"
// when they have the form of a pointer of this build: upper-case hexadecimal,
// zero-padded to the pointer's width.
inline std::string MaskModuleAddresses(std::string output)
{
    const std::string prefix = "info:Looking for entry point in module ";
    for (size_t at = output.find(prefix); at != std::string::npos; at = output.find(prefix, at + 1)) {
        size_t digits = at + prefix.size();
        size_t end = digits;
        while (end < output.size() &&
               ((output[end] >= '0' && output[end] <= '9') || (output[end] >= 'A' && output[end] <= 'F')))
            ++end;
        if (end - digits == kModuleDigits && end < output.size() && output[end] == '\n')
            output.replace(digits, kModuleDigits, "<module>");
    }
    return output;
}

// The command text of a fixture plug-in, as the host sends it (without the line feed).
inline std::string FixtureCommand(const std::wstring& fixture, const std::string& suffix = std::string())
{
    return Utf8(FixturePath(fixture)) + suffix;
}

// The record of a fixture built with the defaults of FixturePlugin.cpp, probed
// through VSTPluginMain: only what a row changes needs saying.
inline SRecord FixtureRecord(const std::string& name)
{
    SRecord record;
    record.id = 0x46787431;
    record.name = name;
    record.vendor = "Fixture Vendor";
    record.product = "via VSTPluginMain";
    record.numInputs = 2;
    record.numOutputs = 2;
    record.category = 1;
    return record;
}

// A test with a server of its own: started and past its banner before the
// test, told to shut down after it, which it must do with exit code 0.
template <typename Base = testing::Test>
class TScanSessionTest : public Base
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_session.Start());
        ASSERT_EQ(m_session.ReadUntilReady(), kBanner + kReady);
    }

    void TearDown() override
    {
        m_session.CloseCommands();
        m_session.ReadToEnd();
        EXPECT_EQ(m_session.WaitForExit(), 0u);
    }

    // One command's answer, with the module address masked.
    std::string Scan(const std::string& command) { return MaskModuleAddresses(m_session.Command(command + "\n")); }

    CHostSession m_session{ServerPath()};
};
