#include "probe/HostCallback.h"

// Placeholder until the host callback lands.
int32_t CurrentShellId = 0;
bool PluginWantsMidi = false;

intptr_t VST_CALL_CONV HostCallback(AEffect*, int32_t, int32_t, intptr_t, void*, float)
{
    return 0;
}
