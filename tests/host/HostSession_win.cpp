#include "HostSession.h"

namespace {

std::wstring Hex(HANDLE handle)
{
    static const wchar_t digits[] = L"0123456789ABCDEF";
    uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    std::wstring text;
    do {
        text.insert(text.begin(), digits[value & 0xF]);
        value >>= 4;
    } while (value);
    return text;
}

void ReplaceAll(std::wstring& text, const std::wstring& what, const std::wstring& with)
{
    for (size_t at = text.find(what); at != std::wstring::npos; at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
}

void CloseAndClear(HANDLE& handle)
{
    if (handle) {
        CloseHandle(handle);
        handle = nullptr;
    }
}

// A pipe whose one end (the server's) alone is inheritable: the host's own end
// must not leak into the child, or the child would keep its own command pipe
// open and never see the end of it.
bool CreateServerPipe(HANDLE& readEnd, HANDLE& writeEnd, bool serverReads)
{
    if (!CreatePipe(&readEnd, &writeEnd, nullptr, 0))
        return false;
    HANDLE serverEnd = serverReads ? readEnd : writeEnd;
    if (!SetHandleInformation(serverEnd, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT)) {
        CloseAndClear(readEnd);
        CloseAndClear(writeEnd);
        return false;
    }
    return true;
}

} // namespace

CHostSession::CHostSession(std::wstring serverPath) : m_serverPath(std::move(serverPath)) {}

CHostSession::~CHostSession()
{
    CloseAndClear(m_commandWrite);
    CloseAndClear(m_answerRead);
    if (m_process) {
        if (WaitForSingleObject(m_process, 0) == WAIT_TIMEOUT) {
            TerminateProcess(m_process, 1);
            WaitForSingleObject(m_process, 5000);
        }
        CloseAndClear(m_process);
    }
}

void CHostSession::RedirectStandardOutput()
{
    m_redirectStdOutput = true;
}

bool CHostSession::Start(const std::wstring& arguments)
{
    if (m_process)
        return false;

    HANDLE commandRead = nullptr, answerWrite = nullptr;
    if (!CreateServerPipe(commandRead, m_commandWrite, true))
        return false;
    if (!CreateServerPipe(m_answerRead, answerWrite, false)) {
        CloseAndClear(commandRead);
        CloseAndClear(m_commandWrite);
        return false;
    }

    std::wstring replaced = arguments;
    ReplaceAll(replaced, L"{in}", Hex(commandRead));
    ReplaceAll(replaced, L"{out}", Hex(answerWrite));
    m_commandLine = L"\"" + m_serverPath + L"\" " + replaced;
    std::wstring buffer = m_commandLine; // CreateProcessW may write into it

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    if (m_redirectStdOutput) {
        // The other two standard handles stay empty: the server must not get
        // ours by accident, only the answer pipe is meant for it.
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = answerWrite;
    }
    PROCESS_INFORMATION info = {};
    const BOOL started = CreateProcessW(m_serverPath.c_str(), &buffer[0], nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &startup, &info);

    // The server holds its own copies now; ours would keep the pipes from ending.
    CloseAndClear(commandRead);
    CloseAndClear(answerWrite);
    if (!started) {
        CloseAndClear(m_commandWrite);
        CloseAndClear(m_answerRead);
        return false;
    }
    CloseHandle(info.hThread);
    m_process = info.hProcess;
    m_processId = info.dwProcessId;
    m_threadId = info.dwThreadId;
    return true;
}

// Anonymous pipes have no overlapped reads, so waiting with a timeout polls for
// data; a failing peek means the server's end (every copy of it) is closed.
CHostSession::ERead CHostSession::ReadSome(unsigned long long deadline)
{
    for (;;) {
        if (!m_answerRead)
            return ERead::End;
        DWORD available = 0;
        if (!PeekNamedPipe(m_answerRead, nullptr, 0, nullptr, &available, nullptr))
            return ERead::End;
        if (available) {
            char buffer[4096];
            DWORD count = 0;
            const DWORD wanted = available < sizeof(buffer) ? available : DWORD(sizeof(buffer));
            if (!ReadFile(m_answerRead, buffer, wanted, &count, nullptr) || count == 0)
                return ERead::End;
            m_pending.append(buffer, count);
            return ERead::Data;
        }
        if (GetTickCount64() >= deadline)
            return ERead::Timeout;
        Sleep(1);
    }
}

std::string CHostSession::TakeUntil(const std::string& marker, bool atLineStart, unsigned timeoutMs)
{
    const unsigned long long deadline = GetTickCount64() + timeoutMs;
    size_t searchFrom = 0;
    for (;;) {
        for (size_t at = m_pending.find(marker, searchFrom); at != std::string::npos;
             at = m_pending.find(marker, at + 1)) {
            // "ready:\n" counts only as a line of its own, not as the end of
            // some other line (a plug-in may well be named "...ready:").
            if (atLineStart && at > 0 && m_pending[at - 1] != '\n')
                continue;
            std::string taken = m_pending.substr(0, at + marker.size());
            m_pending.erase(0, at + marker.size());
            return taken;
        }
        // A marker may straddle two reads: search again from just before the end.
        searchFrom = m_pending.size() >= marker.size() ? m_pending.size() - marker.size() + 1 : 0;
        if (ReadSome(deadline) != ERead::Data) {
            std::string taken;
            taken.swap(m_pending);
            return taken;
        }
    }
}

std::string CHostSession::ReadUntilReady(unsigned timeoutMs)
{
    return TakeUntil("ready:\n", true, timeoutMs);
}

std::string CHostSession::ReadUntil(const std::string& marker, unsigned timeoutMs)
{
    return TakeUntil(marker, false, timeoutMs);
}

std::string CHostSession::ReadToEnd(unsigned timeoutMs)
{
    const unsigned long long deadline = GetTickCount64() + timeoutMs;
    while (ReadSome(deadline) == ERead::Data) {
    }
    std::string taken;
    taken.swap(m_pending);
    return taken;
}

bool CHostSession::Send(const std::string& bytes)
{
    if (!m_commandWrite)
        return false;
    DWORD written = 0;
    return WriteFile(m_commandWrite, bytes.data(), DWORD(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

std::string CHostSession::Command(const std::string& bytes)
{
    Send(bytes);
    return ReadUntilReady();
}

void CHostSession::CloseCommands()
{
    CloseAndClear(m_commandWrite);
}

void CHostSession::CloseAnswers()
{
    CloseAndClear(m_answerRead);
    m_pending.clear();
}

DWORD CHostSession::WaitForExit(unsigned timeoutMs)
{
    if (!m_process)
        return STILL_ACTIVE;
    if (WaitForSingleObject(m_process, timeoutMs) != WAIT_OBJECT_0)
        return STILL_ACTIVE;
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(m_process, &code);
    return code;
}

bool CHostSession::PostQuit(unsigned timeoutMs)
{
    // A thread gets its message queue only with its first window or message
    // call; until then PostThreadMessage fails and has to be tried again.
    const unsigned long long deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (m_threadId && PostThreadMessageW(m_threadId, WM_QUIT, 0, 0))
            return true;
        if (GetTickCount64() >= deadline || WaitForExit(0) != STILL_ACTIVE)
            return false;
        Sleep(10);
    }
}

DWORD CHostSession::ProcessId() const
{
    return m_processId;
}

DWORD CHostSession::ThreadId() const
{
    return m_threadId;
}

const std::wstring& CHostSession::CommandLine() const
{
    return m_commandLine;
}

std::wstring TestBinDir()
{
    wchar_t path[MAX_PATH * 4];
    const DWORD length = GetModuleFileNameW(nullptr, path, DWORD(sizeof(path) / sizeof(path[0])));
    std::wstring dir(path, length);
    const size_t slash = dir.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : dir.substr(0, slash + 1);
}

std::wstring ServerPath()
{
#ifdef _WIN64
    return TestBinDir() + L"TalvarineScanServer.x64.exe";
#else
    return TestBinDir() + L"TalvarineScanServer.x86.exe";
#endif
}

std::wstring FixturePath(const std::wstring& name)
{
    return TestBinDir() + L"fixtures\\" + name;
}

std::string Utf8(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(size_t(size > 0 ? size : 0), '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), &bytes[0], size, nullptr, nullptr);
    return bytes;
}
