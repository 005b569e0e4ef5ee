#include "probe/ScanResult.h"

// Placeholder until the record writer lands.
void CScanResult::WriteReport() const {}

CSharedStringW JsonEscape(const CSharedStringW& text)
{
    return text;
}
