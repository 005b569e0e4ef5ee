#include "app/HostChannel.h"
#include "app/LogLine.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A writer that takes at most `chunk` bytes per call and fails after `failAfter` calls.
struct SFakeWriter
{
    int chunk;
    int failAfter;
    std::vector<std::string>* calls;

    int operator()(const char* bytes, int count)
    {
        if (int(calls->size()) >= failAfter)
            return 0;
        int taken = count < chunk ? count : chunk;
        calls->emplace_back(bytes, size_t(taken));
        return taken;
    }
};

TEST(HostChannel, PartialWritesAreContinuedUntilTheLineIsWhole)
{
    std::vector<std::string> calls;
    EXPECT_TRUE(WriteWhole("info:Freed\n", 11, SFakeWriter{4, 100, &calls}));
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0] + calls[1] + calls[2], "info:Freed\n");
    EXPECT_EQ(calls[2], "ed\n");
}

TEST(HostChannel, FailedOrEmptyWriteEndsTheLine)
{
    std::vector<std::string> calls;
    EXPECT_FALSE(WriteWhole("info:Freed\n", 11, SFakeWriter{4, 1, &calls}));
    EXPECT_EQ(calls.size(), 1u);

    // A writer that takes nothing must not be asked forever.
    int asked = 0;
    EXPECT_FALSE(WriteWhole("abc", 3, [&](const char*, int) { ++asked; return 0; }));
    EXPECT_EQ(asked, 1);

    EXPECT_TRUE(WriteWhole("", 0, SFakeWriter{4, 0, &calls}));
}

// The host's side of an answer pipe whose write end is OutputHandle. A thread
// reads it as a host does: FlushFileBuffers on a pipe waits until the reader
// has taken every byte, so nothing could be written without one. A host that
// does not listen has closed its end before anything is written.
class CAnswerPipe
{
public:
    explicit CAnswerPipe(bool listening)
    {
        CreatePipe(&m_read, &m_write, nullptr, 0);
        m_savedOutput = OutputHandle;
        OutputHandle = m_write;
        if (listening) {
            m_reader = CreateThread(nullptr, 0, &ReadAll, this, 0, nullptr);
        } else {
            CloseHandle(m_read);
            m_read = nullptr;
        }
    }
    ~CAnswerPipe()
    {
        Received();
        OutputHandle = m_savedOutput;
        SetHostOutput(nullptr);
    }

    // Closes the write end and returns everything the reader got.
    std::string Received()
    {
        if (m_write) {
            CloseHandle(m_write);
            m_write = nullptr;
        }
        if (m_reader) {
            WaitForSingleObject(m_reader, INFINITE);
            CloseHandle(m_reader);
            m_reader = nullptr;
        }
        if (m_read) {
            CloseHandle(m_read);
            m_read = nullptr;
        }
        return m_bytes;
    }

private:
    static DWORD WINAPI ReadAll(void* self)
    {
        CAnswerPipe& pipe = *static_cast<CAnswerPipe*>(self);
        char buffer[256];
        DWORD read = 0;
        while (ReadFile(pipe.m_read, buffer, sizeof buffer, &read, nullptr) && read > 0)
            pipe.m_bytes.append(buffer, read);
        return 0;
    }

    HANDLE m_read = nullptr;
    HANDLE m_write = nullptr;
    HANDLE m_reader = nullptr;
    void* m_savedOutput = nullptr;
    std::string m_bytes;
};

TEST(HostChannel, ReadyMarkerAndLinesReachThePipeByteForByte)
{
    CAnswerPipe pipe(true);
    SetHostOutput(&WriteToOutput);
    WriteToOutput("ready:\n", 7);
    LogInfo(u"Scanning plugin: '%s'\n", u"C:\\\u00E9.dll");
    EXPECT_EQ(pipe.Received(), "ready:\ninfo:Scanning plugin: 'C:\\\xC3\xA9.dll'\n");
}

TEST(HostChannel, WritingAfterHostClosedAnswerPipeIsIgnored)
{
    CAnswerPipe pipe(false);
    SetHostOutput(&WriteToOutput);
    WriteToOutput("ready:\n", 7);
    LogInfo(u"Freed\n");
    SUCCEED(); // neither a fault nor a hang
}

} // namespace
