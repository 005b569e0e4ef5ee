#pragma once

#include "base/SharedString.h"

#include <cstdint>

// The sub-plug-in id written after the '>' of a command: hexadecimal digits up
// to the first other character. No digits give 0; with more than eight digits
// the earlier ones are shifted out, so only the last eight count.
int32_t ParseShellId(const char16_t* text);

// Splits a command at its first '>' into the library path and the sub-plug-in
// id. A command without '>' is all path (shared, not copied) with id 0. The
// path is used exactly as written: no trimming, no change of case.
void SplitScanCommand(const CSharedStringW& command, CSharedStringW& path, int32_t& id);
