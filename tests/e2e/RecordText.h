#pragma once

// The result record exactly as the host receives it, built from field values,
// so that end-to-end tests compare whole answers byte for byte.

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

struct SRecord
{
    uint32_t id = 0;
    // Texts as they stand in the record, that is already escaped ("C:\\x" for C:\x).
    std::string name;
    std::string vendor;
    std::string product;
    std::string version;
    std::string error;
    int numInputs = 0;
    int numOutputs = 0;
    bool wantsMidi = false;
    bool sendsMidi = false;
    bool audio64 = false;
    bool synthEdit = false;
    int category = -1;
    std::vector<std::pair<uint32_t, std::string>> shells; // id, escaped name
#ifdef _WIN64
    std::string platform = "x64";
#else
    std::string platform = "x86";
#endif
};

inline std::string RecordHex(uint32_t value)
{
    char digits[9];
    std::snprintf(digits, sizeof digits, "%08X", unsigned(value));
    return digits;
}

// The 19-line record (15 without the shells block), each line with its ">:" level prefix.
inline std::string RecordText(const SRecord& r)
{
    auto flag = [](bool value) { return std::string(value ? "true" : "false"); };
    std::string text;
    text += ">:{\n";
    text += ">:  \"id\":        \"" + RecordHex(r.id) + "\",\n";
    text += ">:  \"name\":      \"" + r.name + "\",\n";
    text += ">:  \"vendor\":    \"" + r.vendor + "\",\n";
    text += ">:  \"product\":   \"" + r.product + "\",\n";
    text += ">:  \"version\":   \"" + r.version + "\",\n";
    text += ">:  \"error\":     \"" + r.error + "\",\n";
    text += ">:  \"numInputs\": " + std::to_string(r.numInputs) + ",\n";
    text += ">:  \"numOutputs\":" + std::to_string(r.numOutputs) + ",\n";
    text += ">:  \"wantsMidi\":  " + flag(r.wantsMidi) + ",\n";
    text += ">:  \"sendsMidi\": " + flag(r.sendsMidi) + ",\n";
    text += ">:  \"platform\":  \"" + r.platform + "\",\n";
    text += ">:  \"audio64\":   " + flag(r.audio64) + ",\n";
    text += ">:  \"category\":  " + std::to_string(r.category) + ",\n";
    text += ">:  \"synthEdit\": " + flag(r.synthEdit) + ",\n";
    if (r.category == 10) {
        text += ">:  \"shells\": {\n";
        for (const auto& shell : r.shells)
            text += ">:        \"" + RecordHex(shell.first) + "\": \"" + shell.second + "\",\n";
        text += ">:  },\n";
    }
    text += ">:}\n";
    return text;
}

// The record of a scan that failed before the probe: fresh values and the error.
inline std::string FailedRecordText(const std::string& error)
{
    SRecord r;
    r.error = error;
    return RecordText(r);
}
