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
