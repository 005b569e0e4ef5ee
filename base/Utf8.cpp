#include "base/SharedString.h"

// Placeholders until the conversions land.
CSharedStringA ToUtf8(const char16_t*) { return {}; }
CSharedStringW FromUtf8(const char*) { return {}; }
CSharedStringW Widen(const char*) { return {}; }
