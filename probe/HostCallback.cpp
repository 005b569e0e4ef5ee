#include "probe/HostCallback.h"

#include "app/LogLine.h"

int32_t CurrentShellId = 0;
bool PluginWantsMidi = false;

const char kHostVendorText[] = "Orvane Software";
const char kHostProductText[] = "Talvarine";

const SAudioMasterOpcodeName kAudioMasterOpcodeNames[kAudioMasterOpcodeCount] = {
    {0, "audioMasterAutomate"},
    {1, "audioMasterVersion"},
    {2, "audioMasterCurrentId"},
    {3, "audioMasterIdle"},
    {4, "audioMasterPinConnected"},
    {6, "audioMasterWantMidi"},
    {7, "audioMasterGetTime"},
    {8, "audioMasterProcessEvents"},
    {9, "audioMasterSetTime"},
    {10, "audioMasterTempoAt"},
    {11, "audioMasterGetNumAutomatableParameters"},
    {12, "audioMasterGetParameterQuantization"},
    {13, "audioMasterIOChanged"},
    {14, "audioMasterNeedIdle"},
    {15, "audioMasterSizeWindow"},
    {16, "audioMasterGetSampleRate"},
    {17, "audioMasterGetBlockSize"},
    {18, "audioMasterGetInputLatency"},
    {19, "audioMasterGetOutputLatency"},
    {20, "audioMasterGetPreviousPlug"},
    {21, "audioMasterGetNextPlug"},
    {22, "audioMasterWillReplaceOrAccumulate"},
    {23, "audioMasterGetCurrentProcessLevel"},
    {24, "audioMasterGetAutomationState"},
    {25, "audioMasterOfflineStart"},
    {26, "audioMasterOfflineRead"},
    {27, "audioMasterOfflineWrite"},
    {28, "audioMasterOfflineGetCurrentPass"},
    {29, "audioMasterOfflineGetCurrentMetaPass"},
    {30, "audioMasterSetOutputSampleRate"},
    {31, "audioMasterGetOutputSpeakerArrangement"},
    {32, "audioMasterGetVendorString"},
    {33, "audioMasterGetProductString"},
    {34, "audioMasterGetVendorVersion"},
    {35, "audioMasterVendorSpecific"},
    {36, "audioMasterSetIcon"},
    {37, "audioMasterCanDo"},
    {38, "audioMasterGetLanguage"},
    {39, "audioMasterOpenWindow"},
    {40, "audioMasterCloseWindow"},
    {41, "audioMasterGetDirectory"},
    {42, "audioMasterUpdateDisplay"},
    {43, "audioMasterBeginEdit"},
    {44, "audioMasterEndEdit"},
    {45, "audioMasterOpenFileSelector"},
    {46, "audioMasterCloseFileSelector"},
    {47, "audioMasterEditFile"},
    {48, "audioMasterGetChunkFile"},
    {49, "audioMasterGetInputSpeakerArrangement"},
};

const char* const kHostCapabilities[kHostCapabilityCount] = {
    "sizeWindow",
    "sendVstEvents",
    "sendVstMidiEvent",
    "sendVstTimeInfo",
    "supplyIdle",
    "receiveVstEvents",
    "receiveVstMidiEvent",
    "startStopProcess",
    "sendVstMidiEventFlagIsRealtime",
    "shellCategory",
};

// The vendor and product texts are VST2 "strings64": the plug-in hands a buffer of 64 bytes.
constexpr int kHostTextBufferSize = 64;

static char AsciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

// Whole-text comparison: plug-ins ask "SIZEWINDOW" as well as "sizeWindow", but a
// prefix such as "sizeWin" is a different question.
static bool EqualIgnoringAsciiCase(const char* a, const char* b)
{
    for (; *a && *b; ++a, ++b) {
        if (AsciiLower(*a) != AsciiLower(*b))
            return false;
    }
    return *a == *b;
}

static intptr_t AnswerCanDo(const char* capability)
{
    LogInfo(u"Query host can do: '%S'\n", capability);
    if (!capability)
        return 0;
    for (const char* supported : kHostCapabilities) {
        if (EqualIgnoringAsciiCase(capability, supported))
            return 1;
    }
    return 0;
}

static CSharedStringW OpcodeName(int32_t opcode)
{
    for (const SAudioMasterOpcodeName& row : kAudioMasterOpcodeNames) {
        if (row.opcode == opcode)
            return Widen(row.name);
    }
    CSharedStringW unknown;
    unknown.Assign(u"<unknown>");
    return unknown;
}

// A plug-in that passes no buffer gets nothing written and a "no" answer.
static intptr_t CopyHostText(void* buffer, const char* text)
{
    if (!buffer)
        return 0;
    char* out = static_cast<char*>(buffer);
    int i = 0;
    for (; i < kHostTextBufferSize - 1 && text[i]; ++i)
        out[i] = text[i];
    out[i] = 0;
    return 1;
}

intptr_t VST_CALL_CONV HostCallback(AEffect*, int32_t opcode, int32_t, intptr_t, void* ptr, float)
{
    if (opcode == audioMasterCanDo)
        return AnswerCanDo(static_cast<const char*>(ptr));

    LogInfo(u"Audio master callback: %i - %s\n", opcode, OpcodeName(opcode));
    switch (opcode) {
    case audioMasterAutomate:
        return 0;
    case audioMasterVersion:
        return 2400;
    case audioMasterCurrentId:
        // Shells ask this from their entry point to learn which sub-plug-in to create.
        return intptr_t(CurrentShellId);
    case audioMasterWantMidi:
        PluginWantsMidi = true;
        return 0;
    case audioMasterNeedIdle:
        return 1;
    case audioMasterGetSampleRate:
        return 44100;
    case audioMasterGetBlockSize:
        return 512;
    case audioMasterGetCurrentProcessLevel:
        return kVstProcessLevelOffline;
    case audioMasterGetVendorString:
        return CopyHostText(ptr, kHostVendorText);
    case audioMasterGetProductString:
        return CopyHostText(ptr, kHostProductText);
    case audioMasterGetVendorVersion:
        return 3;
    default:
        LogWarn(u"Unhandled audioMaster opCode - %i\n", opcode);
        return 0;
    }
}
