#pragma once

#include <windows.h>

// Copies the root block of the library's version resource into `info`. False
// when the file has no version resource or its root block is incomplete.
bool ReadFixedFileInfo(const char16_t* path, VS_FIXEDFILEINFO& info);
