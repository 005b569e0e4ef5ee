// host-driver: runs one host session against a scan server and prints what the
// host receives, for trying the server by hand and for the demo.
//
//   host-driver [options] SERVER [COMMAND...]
//     --args TEXT     the command line after the program path; {in} and {out}
//                     become the pipe handles (default "{in} {out} 0")
//     --file FILE     send each line of FILE as one command (after the
//                     commands given as arguments)
//     --stdout        the server's standard output is the answer pipe too
//                     (for argument texts without {out})
//     --quit          message-loop sessions: post WM_QUIT after the banner
//     --timeout SECS  how long to wait for each answer (default 20)
//
// Every command is sent with a line feed in one write. Received lines are
// printed as they are; control bytes other than the line feed are shown as
// \r, \t, \0 or \xNN, and a line cut off before its line feed ends with
// "[no line feed]". The driver's own lines start with "== ".

#include "HostSession.h"

#include <fcntl.h>
#include <io.h>
#include <stdio.h>

#include <string>
#include <vector>

namespace {

void Print(const std::string& bytes)
{
    fwrite(bytes.data(), 1, bytes.size(), stdout);
    fflush(stdout);
}

void Note(const std::string& text)
{
    Print("== " + text + "\n");
}

std::string Escaped(const std::string& bytes, bool showLineFeeds)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned char c : bytes) {
        if (c == '\n' && !showLineFeeds)
            text += '\n';
        else if (c == '\n')
            text += "\\n";
        else if (c == '\r')
            text += "\\r";
        else if (c == '\t')
            text += "\\t";
        else if (c == 0)
            text += "\\0";
        else if (c < 0x20 || c == 0x7F) {
            text += "\\x";
            text += digits[c >> 4];
            text += digits[c & 0xF];
        } else
            text += char(c);
    }
    return text;
}

// What the host received, line by line.
void PrintReceived(const std::string& bytes)
{
    Print(Escaped(bytes, false));
    if (!bytes.empty() && bytes.back() != '\n')
        Print("[no line feed]\n");
}

bool EndsWithReady(const std::string& bytes)
{
    static const std::string ready = "ready:\n";
    return bytes.size() >= ready.size() && bytes.compare(bytes.size() - ready.size(), ready.size(), ready) == 0;
}

std::string ExitText(DWORD code)
{
    if (code == STILL_ACTIVE)
        return "still running";
    char text[64];
    if (code > 255)
        snprintf(text, sizeof(text), "exit code %lu (0x%.8lX)", (unsigned long)code, (unsigned long)code);
    else
        snprintf(text, sizeof(text), "exit code %lu", (unsigned long)code);
    return text;
}

bool ReadCommandFile(const std::wstring& path, std::vector<std::string>& commands)
{
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (!file)
        return false;
    std::string bytes;
    char buffer[4096];
    for (size_t count; (count = fread(buffer, 1, sizeof(buffer), file)) > 0;)
        bytes.append(buffer, count);
    fclose(file);
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos)
            end = bytes.size();
        commands.push_back(bytes.substr(start, end - start));
        start = end + 1;
    }
    return true;
}

int Usage()
{
    fputs("usage: host-driver [--args TEXT] [--file FILE] [--stdout] [--quit] [--timeout SECS] SERVER [COMMAND...]\n",
          stderr);
    return 1;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    // Received bytes go out unchanged: no CR added in front of each line feed.
    _setmode(_fileno(stdout), _O_BINARY);

    std::wstring arguments = L"{in} {out} 0";
    std::wstring server;
    std::vector<std::string> commands;
    std::vector<std::wstring> files;
    bool redirect = false, quit = false;
    unsigned timeoutMs = 20000;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == L"--args" && hasValue)
            arguments = argv[++i];
        else if (arg == L"--file" && hasValue)
            files.push_back(argv[++i]);
        else if (arg == L"--timeout" && hasValue)
            timeoutMs = unsigned(_wtoi(argv[++i])) * 1000;
        else if (arg == L"--stdout")
            redirect = true;
        else if (arg == L"--quit")
            quit = true;
        else if (arg.size() > 2 && arg.compare(0, 2, L"--") == 0 && server.empty())
            return Usage();
        else if (server.empty())
            server = arg;
        else
            commands.push_back(Utf8(arg));
    }
    if (server.empty())
        return Usage();
    for (const std::wstring& file : files) {
        if (!ReadCommandFile(file, commands)) {
            fprintf(stderr, "host-driver: cannot read %s\n", Utf8(file).c_str());
            return 1;
        }
    }

    CHostSession session(server);
    if (redirect)
        session.RedirectStandardOutput();
    if (!session.Start(arguments)) {
        fprintf(stderr, "host-driver: cannot start %s (error %lu)\n", Utf8(server).c_str(),
                (unsigned long)GetLastError());
        return 1;
    }
    Note("started: " + Utf8(session.CommandLine()));

    if (quit) {
        PrintReceived(session.ReadUntil("\n", timeoutMs));
        Note(session.PostQuit(timeoutMs) ? "posted WM_QUIT" : "could not post WM_QUIT");
        PrintReceived(session.ReadToEnd(timeoutMs));
        Note(ExitText(session.WaitForExit(timeoutMs)));
        return 0;
    }

    std::string received = session.ReadUntilReady(timeoutMs);
    PrintReceived(received);
    size_t next = 0;
    while (EndsWithReady(received) && next < commands.size()) {
        const std::string bytes = commands[next++] + "\n";
        Note("sending: " + Escaped(bytes, true));
        if (!session.Send(bytes)) {
            Note("the command pipe is closed");
            break;
        }
        received = session.ReadUntilReady(timeoutMs);
        PrintReceived(received);
    }
    if (!EndsWithReady(received)) {
        const DWORD code = session.WaitForExit(1000);
        Note(code == STILL_ACTIVE ? "no ready marker in time" : "the answer pipe ended");
    }
    for (size_t i = next; i < commands.size(); ++i)
        Note("not sent: " + Escaped(commands[i] + "\n", true));

    Note("closing the command pipe");
    session.CloseCommands();
    PrintReceived(session.ReadToEnd(timeoutMs));
    Note(ExitText(session.WaitForExit(timeoutMs)));
    return 0;
}
