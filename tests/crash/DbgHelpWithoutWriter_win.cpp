// A DbgHelp.dll that exports no MiniDumpWriteDump: put beside a copy of
// crash-probe.exe, it shows what the crash filter does when it cannot write a dump.
extern "C" __declspec(dllexport) int SymbolsOnly()
{
    return 0;
}
