#include "probe/PluginProbe.h"

// Placeholder until the probe lands.
bool ProbePlugin(HMODULE, CScanResult& result)
{
    result.error.Assign(u"Entry point not found, not a VST plugin");
    return false;
}
