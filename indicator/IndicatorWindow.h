#pragma once

#include <windows.h>

// The layered "Scanning..." window: created at start-up, activated before each
// probe, destroyed at shut-down. Null when it could not be created.
extern HWND IndicatorWindow;

void ShowIndicatorWindow(HINSTANCE instance, HWND owner);
