#pragma once

#include "base/SharedString.h"
#include "base/Vector.h"

#include <cstdint>

// One sub-plug-in of a shell plug-in.
struct CShellInfo
{
    int32_t id = 0;
    CSharedStringW name;
};

// What one command found out about a plug-in library. Made fresh for every
// command, filled by the scan and the probe, written once as the record.
class CScanResult
{
public:
    int32_t id = 0;
    CSharedStringW name;
    CSharedStringW vendor;
    CSharedStringW product;
    CSharedStringW version;
    CSharedStringW error;
    int32_t numInputs = 0;
    int32_t numOutputs = 0;
    bool wantsMidi = false;
    bool sendsMidi = false;
    bool audio64 = false;
    bool synthEdit = false;
    int32_t category = -1; // -1: the scan ended before the category was asked
    CVector<CShellInfo*, SOwnedPtr, CShellInfo*> shells;

    // Writes the record, one report line per call.
    void WriteReport() const;
};

// The text with every character outside printable ASCII, and the characters
// that JSON escapes, written as escapes. Always holds a block, so that "%s"
// prints nothing for an empty value. When memory runs out the value comes back
// empty rather than cut short (and null only if not even that can be had).
CSharedStringW JsonEscape(const CSharedStringW& text);
