#pragma once

#include "probe/ScanResult.h"

#include <windows.h>

// Finds the library's VST2 entry point, creates, questions and closes the
// effect, and fills the result. False, with the result's error set, when the
// library is not a usable VST2 plug-in.
bool ProbePlugin(HMODULE module, CScanResult& result);
