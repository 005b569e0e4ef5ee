#include "probe/ScanCommandText.h"

#include "base/HexDigit.h"

int32_t ParseShellId(const char16_t* text)
{
    uint32_t id = 0;
    for (int digit; (digit = HexDigitValue(*text)) >= 0; ++text)
        id = (id << 4) | uint32_t(digit);
    return int32_t(id);
}

void SplitScanCommand(const CSharedStringW& command, CSharedStringW& path, int32_t& id)
{
    const char16_t* text = command.CStr();
    const char16_t* mark = text;
    while (*mark && *mark != u'>')
        ++mark;
    if (!*mark) {
        path = command;
        id = 0;
        return;
    }
    path.Assign(text, int(mark - text));
    id = ParseShellId(mark + 1);
}
