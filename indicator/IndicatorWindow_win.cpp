#include "indicator/IndicatorWindow.h"

// Placeholder until the indicator window lands.
HWND IndicatorWindow = nullptr;

void ShowIndicatorWindow(HINSTANCE, HWND) {}
