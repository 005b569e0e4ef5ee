#pragma once

#include <cstddef>
#include <cstdint>

// The few pieces of the published VST2 binary interface that the scan server
// uses, declared from their documented layout.

#if defined(_WIN32) && !defined(_WIN64)
#define VST_CALL_CONV __cdecl // 32-bit x86: the caller removes the arguments
#else
#define VST_CALL_CONV
#endif

struct AEffect;

typedef intptr_t(VST_CALL_CONV* AudioMasterCallback)(AEffect* effect, int32_t opcode, int32_t index,
                                                      intptr_t value, void* ptr, float opt);
typedef intptr_t(VST_CALL_CONV* AEffectDispatcherProc)(AEffect* effect, int32_t opcode, int32_t index,
                                                        intptr_t value, void* ptr, float opt);
typedef AEffect*(VST_CALL_CONV* VstEntryPoint)(AudioMasterCallback hostCallback);

struct AEffect
{
    int32_t magic;
    AEffectDispatcherProc dispatcher;
    void* process;
    void* setParameter;
    void* getParameter;
    int32_t numPrograms;
    int32_t numParams;
    int32_t numInputs;
    int32_t numOutputs;
    int32_t flags;
    intptr_t resvd1;
    intptr_t resvd2;
    int32_t initialDelay;
    int32_t realQualities;
    int32_t offQualities;
    float ioRatio;
    void* object;
    void* user;
    int32_t uniqueID;
    int32_t version;
    void* processReplacing;
    void* processDoubleReplacing;
    char future[56];
};

// The offsets a plug-in built by any VST2 compiler puts these fields at.
#if INTPTR_MAX == INT64_MAX
static_assert(offsetof(AEffect, dispatcher) == 8, "AEffect layout");
static_assert(offsetof(AEffect, numInputs) == 48, "AEffect layout");
static_assert(offsetof(AEffect, numOutputs) == 52, "AEffect layout");
static_assert(offsetof(AEffect, flags) == 56, "AEffect layout");
static_assert(offsetof(AEffect, uniqueID) == 112, "AEffect layout");
#else
static_assert(offsetof(AEffect, dispatcher) == 4, "AEffect layout");
static_assert(offsetof(AEffect, numInputs) == 28, "AEffect layout");
static_assert(offsetof(AEffect, numOutputs) == 32, "AEffect layout");
static_assert(offsetof(AEffect, flags) == 36, "AEffect layout");
static_assert(offsetof(AEffect, uniqueID) == 72, "AEffect layout");
#endif

constexpr int32_t kEffectMagic = 0x56737450; // 'VstP'

enum : int32_t
{
    effFlagsIsSynth = 1 << 8,
    effFlagsCanDoubleReplacing = 1 << 12,
};

// Plug-in opcodes (the dispatcher).
enum : int32_t
{
    effClose = 1,
    effGetPlugCategory = 35,
    effGetEffectName = 45,
    effGetVendorString = 47,
    effGetProductString = 48,
    effGetVendorVersion = 49,
    effCanDo = 51,
    effShellGetNextPlugin = 70,
};

constexpr int32_t kPlugCategShell = 10;

// Host opcodes (the audioMaster callback) that the scan server answers.
enum : int32_t
{
    audioMasterAutomate = 0,
    audioMasterVersion = 1,
    audioMasterCurrentId = 2,
    audioMasterWantMidi = 6,
    audioMasterNeedIdle = 14,
    audioMasterGetSampleRate = 16,
    audioMasterGetBlockSize = 17,
    audioMasterGetCurrentProcessLevel = 23,
    audioMasterGetVendorString = 32,
    audioMasterGetProductString = 33,
    audioMasterGetVendorVersion = 34,
    audioMasterCanDo = 37,
};

constexpr int32_t kVstProcessLevelOffline = 4;
