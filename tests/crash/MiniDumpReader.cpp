#include "MiniDumpReader.h"


namespace {

constexpr uint32_t kThreadListStream = 3;
constexpr uint32_t kExceptionStream = 6;
constexpr size_t kHeaderSize = 32;
constexpr size_t kDirectoryEntrySize = 12;
constexpr size_t kThreadEntrySize = 48;
constexpr size_t kExceptionStreamSize = 168;
constexpr uint32_t kMaxExceptionParameters = 15;

// Little-endian reads with bounds: a truncated dump must fail, not read past the end.
class CReader
{
public:
    explicit CReader(const std::string& bytes) : m_bytes(bytes) {}

    bool Fits(uint64_t offset, uint64_t size) const { return offset <= m_bytes.size() && size <= m_bytes.size() - offset; }

    uint32_t U32(size_t offset) const
    {
        uint32_t value = 0;
        for (int i = 3; i >= 0; --i)
            value = (value << 8) | uint8_t(m_bytes[offset + i]);
        return value;
    }

    uint64_t U64(size_t offset) const { return U32(offset) | (uint64_t(U32(offset + 4)) << 32); }

private:
    const std::string& m_bytes;
};

} // namespace

bool ReadMiniDump(const std::string& bytes, SMiniDump& dump, std::string& error)
{
    dump = SMiniDump();
    CReader reader(bytes);
    if (bytes.size() < kHeaderSize || bytes.compare(0, 4, "MDMP") != 0) {
        error = "no MDMP signature";
        return false;
    }
    const uint32_t streams = reader.U32(8);
    const uint32_t directory = reader.U32(12);
    if (!reader.Fits(directory, uint64_t(streams) * kDirectoryEntrySize)) {
        error = "stream directory past the end";
        return false;
    }

    for (uint32_t i = 0; i < streams; ++i) {
        const size_t entry = directory + i * kDirectoryEntrySize;
        const uint32_t type = reader.U32(entry);
        const uint32_t size = reader.U32(entry + 4);
        const uint32_t rva = reader.U32(entry + 8);
        if (!reader.Fits(rva, size)) {
            error = "stream " + std::to_string(type) + " past the end";
            return false;
        }
        if (type == kThreadListStream) {
            if (size < 4 || !reader.Fits(rva + 4, uint64_t(reader.U32(rva)) * kThreadEntrySize)) {
                error = "thread list past the end";
                return false;
            }
            const uint32_t count = reader.U32(rva);
            for (uint32_t t = 0; t < count; ++t)
                dump.threadIds.push_back(reader.U32(rva + 4 + t * kThreadEntrySize));
        } else if (type == kExceptionStream) {
            if (size < kExceptionStreamSize) {
                error = "exception stream too short";
                return false;
            }
            // MINIDUMP_EXCEPTION_STREAM: ThreadId, alignment, then MINIDUMP_EXCEPTION.
            SMiniDumpException& exception = dump.exception;
            exception.threadId = reader.U32(rva);
            exception.code = reader.U32(rva + 8);
            exception.address = reader.U64(rva + 24);
            uint32_t parameters = reader.U32(rva + 32);
            if (parameters > kMaxExceptionParameters)
                parameters = kMaxExceptionParameters;
            for (uint32_t p = 0; p < parameters; ++p)
                exception.parameters.push_back(reader.U64(rva + 40 + p * 8));
            dump.hasException = true;
        }
    }
    return true;
}
