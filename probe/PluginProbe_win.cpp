#include "probe/PluginProbe.h"

#include "app/LogLine.h"
#include "base/Map.h"
#include "base/Text16.h"
#include "crash/CrashHandler.h"
#include "probe/ExceptionGuard.h"
#include "probe/HostCallback.h"
#include "probe/VersionText.h"
#include "probe/Vst2.h"

#include <cstring>
#include <new>

namespace {

// Room offered for every text answer. The VST2 limits are far smaller (32 to
// 64 bytes), but plug-ins that ignore them are common, so they get room to spare.
constexpr int kAnswerBufferSize = 512;
constexpr int kShellNameLength = 512;

constexpr int32_t kPlugCategEffect = 1;
constexpr int32_t kPlugCategSynth = 2;

// The low 32 bits of a dispatcher answer, read as signed: the VST2 answers are
// 32-bit values, whatever the 64-bit build's return register holds above them.
int32_t Dispatch(AEffect* effect, int32_t opcode, void* ptr = nullptr)
{
    return int32_t(effect->dispatcher(effect, opcode, 0, 0, ptr, 0.0f));
}

// effCanDo counts as "yes" unless the answer is -1: a plug-in that never
// implemented effCanDo answers 0 ("don't know") to everything, and would
// otherwise lose its MIDI ports.
bool CanDo(AEffect* effect, const char* capability)
{
    return Dispatch(effect, effCanDo, const_cast<char*>(capability)) != -1;
}

// One text question with a fresh zeroed buffer, read back no further than its
// last byte even when the plug-in wrote no terminator.
CSharedStringW GetPluginString(AEffect* effect, int32_t opcode)
{
    char buffer[kAnswerBufferSize] = {};
    Dispatch(effect, opcode, buffer);
    buffer[kAnswerBufferSize - 1] = 0;
    return Widen(buffer);
}

// GetProcAddress hands back every export as one generic function type.
VstEntryPoint FindEntryPoint(HMODULE module, const char* name)
{
    return reinterpret_cast<VstEntryPoint>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

void CloseEffect(void* effect)
{
    Dispatch(static_cast<AEffect*>(effect), effClose);
}

void ListShells(AEffect* effect, CScanResult& result)
{
    CMap<int, bool, SValue, SValue, int> seen;
    for (;;) {
        CSharedStringA buffer;
        char* name = buffer.GetBuffer(kShellNameLength);
        if (!name)
            break; // no memory for another question: the list ends here
        std::memset(name, 0, kShellNameLength + 1);
        int32_t id = Dispatch(effect, effShellGetNextPlugin, name);
        if (id == 0)
            break;
        // A plug-in that filled the buffer to the end left no terminator.
        name[kShellNameLength] = 0;

        LogInfo(u"Found shell: %.8X - %S\n", uint32_t(id), buffer);
        if (seen.Lookup(id)) {
            LogInfo(u"   - duplicate, ignoring\n");
            continue;
        }
        seen.SetAt(id, true);
        CShellInfo* shell = new (std::nothrow) CShellInfo;
        if (!shell)
            continue;
        shell->id = id;
        shell->name = Widen(buffer);
        if (!result.shells.Add(shell))
            delete shell;
    }
}

} // namespace

bool ProbePlugin(HMODULE module, CScanResult& result)
{
    LogInfo(u"Looking for entry point in module %p\n", static_cast<const void*>(module));

    // A jBridge bootstrap stands in for a plug-in that runs in a bridge
    // process; calling its entry point would start the bridge, so it is
    // refused before any of its code runs.
    if (GetProcAddress(module, "JBridgeBootstrap")) {
        result.error.Assign(u"Module is a jBridge bootstrap, ignoring");
        return false;
    }
    VstEntryPoint entry = FindEntryPoint(module, "VSTPluginMain");
    if (entry) {
        LogInfo(u"Found VSTPluginMain()\n");
    } else {
        // Plug-ins from before VST 2.4 export their entry point as "main".
        entry = FindEntryPoint(module, "main");
        if (!entry) {
            result.error.Assign(u"Entry point not found, not a VST plugin");
            return false;
        }
        LogInfo(u"Found main()\n");
    }

    PluginWantsMidi = false;
    // Plug-in start-up code (its library's or its entry point's) may install a
    // filter of its own; ours goes back on top around every such call.
    SetUnhandledExceptionFilter(CrashFilter);
    LogInfo(u"Calling entry point...\n");
    AEffect* effect = entry(HostCallback);
    SetUnhandledExceptionFilter(CrashFilter);

    if (!effect) {
        result.error.Assign(u"Entry point returned NULL");
        return false;
    }
    if (effect->magic != kEffectMagic) {
        result.error.Assign(u"Bad magic");
        return false;
    }
    SetUnhandledExceptionFilter(CrashFilter);

    result.synthEdit = FindResourceW(module, MAKEINTRESOURCEW(165), AsWide(u"SE1")) != nullptr;
    result.name = GetPluginString(effect, effGetEffectName);
    result.vendor = GetPluginString(effect, effGetVendorString);
    result.product = GetPluginString(effect, effGetProductString);
    result.id = effect->uniqueID;
    result.category = Dispatch(effect, effGetPlugCategory);
    result.numInputs = effect->numInputs;
    result.numOutputs = effect->numOutputs;
    result.wantsMidi = CanDo(effect, "receiveVstMidiEvent") || CanDo(effect, "receiveVstEvents") || PluginWantsMidi;
    result.sendsMidi = CanDo(effect, "sendVstMidiEvent") || CanDo(effect, "sendVstEvents");
    result.audio64 = (effect->flags & effFlagsCanDoubleReplacing) != 0;
    result.version = VendorVersionToText(Dispatch(effect, effGetVendorVersion));

    // The synth flag outranks the category answer, which plug-ins often leave
    // at a default. An answer of 0 ("unknown") is decided by the inputs: a
    // plug-in without any can only be a generator. numInputs is read afresh,
    // as the questions may have changed it.
    if (effect->flags & effFlagsIsSynth)
        result.category = kPlugCategSynth;
    else if (result.category == 0)
        result.category = effect->numInputs != 0 ? kPlugCategEffect : kPlugCategSynth;

    if (result.category == kPlugCategShell)
        ListShells(effect, result);

    // effClose without a preceding effOpen is a path that some plug-ins
    // handle badly (they free what effOpen would have made). Everything is
    // known by now, so an exception there is swallowed rather than losing the
    // result to a crash.
    LogInfo(u"Dispatching effClose...\n");
    CallGuarded(CloseEffect, effect);
    SetUnhandledExceptionFilter(CrashFilter);
    return true;
}
