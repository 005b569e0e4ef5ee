#pragma once

#include "probe/Vst2.h"

#include <cstdint>

// The sub-plug-in id of the command being probed; 0 outside a probe. Written by
// the scan request around each probe, answered to audioMasterCurrentId.
extern int32_t CurrentShellId;

// Set when the plug-in calls audioMasterWantMidi; cleared by the probe just
// before it calls the entry point, read by it once for "wantsMidi".
extern bool PluginWantsMidi;

// The audioMaster callback handed to every plug-in's entry point.
intptr_t VST_CALL_CONV HostCallback(AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr,
                                    float opt);

// The standard name of each host opcode, only for naming a call in the log.
struct SAudioMasterOpcodeName
{
    int32_t opcode;
    const char* name;
};
constexpr int kAudioMasterOpcodeCount = 49; // 0 to 49; opcode 5 has no name
extern const SAudioMasterOpcodeName kAudioMasterOpcodeNames[kAudioMasterOpcodeCount];

// What the host says yes to on audioMasterCanDo, compared ignoring ASCII case.
constexpr int kHostCapabilityCount = 10;
extern const char* const kHostCapabilities[kHostCapabilityCount];

// What the host calls itself on audioMasterGetVendorString/GetProductString.
extern const char kHostVendorText[];
extern const char kHostProductText[];
