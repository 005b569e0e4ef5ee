#pragma once

#include <windows.h>

#include <string>

// The first line the server of this build writes, and the marker it writes
// before every read of a command.
#ifdef _WIN64
const std::string kBanner = "info:Talvarine Plugin Scan Server (x64)\n";
#else
const std::string kBanner = "info:Talvarine Plugin Scan Server (x86)\n";
#endif
const std::string kReady = "ready:\n";

// Drives one scan server as a host does: two anonymous pipes whose server ends
// alone are inheritable, the handle values on the command line, one WriteFile
// per command, and reads up to each ready marker.
// A 64-bit host may start the 32-bit server too: inherited handle values fit in
// 32 bits, so the same command line works for both builds.
class CHostSession
{
public:
    explicit CHostSession(std::wstring serverPath);
    ~CHostSession(); // closes everything; kills the server if it still runs

    // Starts the server. `arguments` is the command line after the program path;
    // "{in}" and "{out}" in it become the hexadecimal values (no prefix) of the
    // server's ends of the command and answer pipes, e.g. L"{in} {out} 0 C:\\dumps".
    bool Start(const std::wstring& arguments = L"{in} {out} 0");

    // Everything received up to and including the next "ready:\n"; what has come
    // so far when the answer pipe ends or the timeout passes first.
    std::string ReadUntilReady(unsigned timeoutMs = 20000);

    // Writes the bytes in exactly one WriteFile on the command pipe.
    bool Send(const std::string& bytes);

    // Send(bytes), then ReadUntilReady().
    std::string Command(const std::string& bytes);

    // Closes the host's end of the command pipe: the server's signal to shut down.
    void CloseCommands();

    // Closes the host's end of the answer pipe, as a host that stops listening does.
    void CloseAnswers();

    // Everything received until the answer pipe ends (or the timeout passes).
    std::string ReadToEnd(unsigned timeoutMs = 20000);

    // The exit code, or STILL_ACTIVE (259) when the server has not ended in time.
    DWORD WaitForExit(unsigned timeoutMs = 20000);

    DWORD ProcessId() const;

    // Call before Start: the server's standard output becomes the answer pipe as
    // well, for sessions that pass 0 (or nothing) as argument 2.
    void RedirectStandardOutput();

    // Everything received up to and including the next `marker`, e.g. "\n" for
    // one line; what has come so far when the pipe ends or the timeout passes.
    std::string ReadUntil(const std::string& marker, unsigned timeoutMs = 20000);

    // Posts WM_QUIT to the server's main thread, retrying until that thread has
    // a message queue; false when it never had one within the timeout.
    bool PostQuit(unsigned timeoutMs = 20000);

    // The command line the server was started with.
    const std::wstring& CommandLine() const;

    DWORD ThreadId() const;

private:
    std::wstring m_serverPath;
    HANDLE m_process = nullptr;
    DWORD m_processId = 0;
    HANDLE m_commandWrite = nullptr; // host's end of the command pipe
    HANDLE m_answerRead = nullptr;   // host's end of the answer pipe
    std::string m_pending;           // bytes read past the last ready marker
    DWORD m_threadId = 0;
    bool m_redirectStdOutput = false;
    std::wstring m_commandLine;

    enum class ERead { Data, End, Timeout };
    ERead ReadSome(unsigned long long deadline);
    std::string TakeUntil(const std::string& marker, bool atLineStart, unsigned timeoutMs);
};

// The folder of the running test program, with a trailing backslash.
std::wstring TestBinDir();

// The server of this build, beside the test program.
std::wstring ServerPath();

// A fixture library built into bin\fixtures\, e.g. FixturePath(L"synth.dll").
std::wstring FixturePath(const std::wstring& name);

// UTF-8 of a wide text, for building commands.
std::string Utf8(const std::wstring& text);
