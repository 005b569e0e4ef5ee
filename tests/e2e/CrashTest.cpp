// The crash filter end to end: crash-probe.exe installs it, faults in a named
// way, and the test looks at the exit code and at the dump left in the folder.
#include "host/HostSession.h"

// The reader is compiled into this program alone.
#include "crash/MiniDumpReader.cpp"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr DWORD kCrashExitCode = 9;
constexpr DWORD kForeignFilterExitCode = 77; // what crash-probe's own filter exits with
constexpr DWORD kFilterReturnedExitCode = 10; // crash-probe's exit when our filter returns
constexpr DWORD kAccessViolation = 0xC0000005;
constexpr DWORD kStackOverflow = 0xC00000FD;
constexpr uint64_t kFaultAddress = 0xBAD0; // where crash-probe writes to fault
constexpr unsigned kProbeHungMs = 120000;  // a safety net against a hung filter, not a timing check

#ifdef _WIN64
const std::wstring kDumpBaseName = L"ScanServer-x64";
#else
const std::wstring kDumpBaseName = L"ScanServer-x86";
#endif

// "\" + base name + "-YYYY-MM-DD-hh-mm-ss.mdmp": what the filter appends to the folder.
const size_t kDumpNameChars = 1 + kDumpBaseName.size() + 20 + 5;
constexpr size_t kDumpPathChars = 260; // the filter's buffer, terminating null included

// A fresh, empty folder of its own under the temporary folder; deleted with
// everything in it when the test ends.
class CTempFolder
{
public:
    CTempFolder()
    {
        static unsigned counter = 0;
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        m_path = std::wstring(temp) + L"crash-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                 std::to_wstring(++counter);
        CreateDirectoryW(m_path.c_str(), nullptr);
    }
    ~CTempFolder() { Remove(m_path); }

    // Without a trailing backslash.
    const std::wstring& Path() const { return m_path; }

private:
    static void Remove(const std::wstring& folder)
    {
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                const std::wstring name = found.cFileName;
                if (name == L"." || name == L"..")
                    continue;
                const std::wstring path = folder + L"\\" + name;
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    Remove(path);
                else
                    DeleteFileW(path.c_str());
            } while (FindNextFileW(search, &found));
            FindClose(search);
        }
        RemoveDirectoryW(folder.c_str());
    }

    std::wstring m_path;
};

// The names of the files in a folder (sub-folders left out).
std::vector<std::wstring> FilesIn(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

bool FolderExists(const std::wstring& folder)
{
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string ReadFileBytes(const std::wstring& path)
{
    std::string bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    char chunk[65536];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof(chunk), &got, nullptr) && got > 0)
        bytes.append(chunk, got);
    CloseHandle(file);
    return bytes;
}

// One argument as CommandLineToArgvW and the C run time split it again: quoted,
// with the backslashes in front of a quotation mark (or of the closing one) doubled.
std::wstring QuoteArgument(const std::wstring& argument)
{
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

struct SProbeRun
{
    DWORD exitCode = STILL_ACTIVE;
    std::vector<uint32_t> faultingThreads; // from its "fault-thread <id>" lines
    SYSTEMTIME started{};                  // local time, to the second, around the run
    SYSTEMTIME ended{};
};

// Runs `probe` MODE [FOLDER] in `workingFolder` and waits for its end.
SProbeRun RunProbe(const std::wstring& probe, const std::wstring& mode, const std::wstring* folder,
                   const std::wstring& workingFolder)
{
    SProbeRun run;
    std::wstring commandLine = QuoteArgument(probe) + L" " + mode;
    if (folder)
        commandLine += L" " + QuoteArgument(*folder);

    SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0))
        return run;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION process = {};
    GetLocalTime(&run.started);
    const BOOL started = CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                        workingFolder.c_str(), &startup, &process);
    CloseHandle(writeEnd);
    if (!started) {
        CloseHandle(readEnd);
        return run;
    }
    if (WaitForSingleObject(process.hProcess, kProbeHungMs) != WAIT_OBJECT_0)
        TerminateProcess(process.hProcess, STILL_ACTIVE);
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    GetLocalTime(&run.ended);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);

    std::string output;
    char chunk[512];
    DWORD got = 0;
    while (ReadFile(readEnd, chunk, sizeof(chunk), &got, nullptr) && got > 0)
        output.append(chunk, got);
    CloseHandle(readEnd);

    const std::string prefix = "fault-thread ";
    for (size_t at = output.find(prefix); at != std::string::npos; at = output.find(prefix, at + 1))
        run.faultingThreads.push_back(uint32_t(std::stoul(output.substr(at + prefix.size()))));
    return run;
}

// The local time that a dump name spells, or false when the name is not
// "<base>-YYYY-MM-DD-hh-mm-ss.mdmp".
bool ParseDumpName(const std::wstring& name, SYSTEMTIME& time)
{
    const std::wstring pattern = kDumpBaseName + L"-0000-00-00-00-00-00.mdmp";
    if (name.size() != pattern.size() || name.compare(0, kDumpBaseName.size(), kDumpBaseName) != 0)
        return false;
    for (size_t i = kDumpBaseName.size(); i < pattern.size(); ++i) {
        const bool digit = name[i] >= L'0' && name[i] <= L'9';
        if (pattern[i] == L'0' ? !digit : name[i] != pattern[i])
            return false;
    }
    auto field = [&](size_t at, size_t count) { return WORD(std::stoi(name.substr(kDumpBaseName.size() + at, count))); };
    time = SYSTEMTIME{};
    time.wYear = field(1, 4);
    time.wMonth = field(6, 2);
    time.wDay = field(9, 2);
    time.wHour = field(12, 2);
    time.wMinute = field(15, 2);
    time.wSecond = field(18, 2);
    return true;
}

bool Contains(const std::vector<uint32_t>& ids, uint32_t id)
{
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

uint64_t Seconds(SYSTEMTIME time)
{
    time.wMilliseconds = 0;
    time.wDayOfWeek = 0;
    FILETIME file{};
    if (!SystemTimeToFileTime(&time, &file))
        return 0;
    return ((uint64_t(file.dwHighDateTime) << 32) | file.dwLowDateTime) / 10000000;
}

// Where the crash folder argument comes from.
enum class EFolder
{
    kFresh,          // an existing, empty folder
    kTrailingSlash,  // the same, given with a backslash at its end
    kAbsent,         // no argument at all
    kEmpty,          // an empty argument
    kMissing,        // a folder that does not exist
    kLongestFitting, // an existing folder whose dump path just fits the buffer
    kOneTooLong,     // an existing folder one character longer than that
    kFarTooLong,     // a folder far longer than any path the buffer holds
};

struct SCrashCase
{
    const char* name;
    const wchar_t* mode;
    EFolder folder;
    DWORD exitCode;
    DWORD exceptionCode; // 0: no dump may be written
};

std::ostream& operator<<(std::ostream& out, const SCrashCase& row)
{
    return out << row.name;
}

const SCrashCase kCrashCases[] = {
    {"AccessViolationOnMainThreadWritesDump", L"main", EFolder::kFresh, kCrashExitCode, kAccessViolation},
    {"AccessViolationOnOtherThreadWritesDump", L"thread", EFolder::kFresh, kCrashExitCode, kAccessViolation},
    {"TwoThreadsFaultingAtOnceWriteOneDump", L"two-threads", EFolder::kFresh, kCrashExitCode, kAccessViolation},
    {"StackOverflowOnMainThreadWritesDump", L"overflow", EFolder::kFresh, kCrashExitCode, kStackOverflow},
    {"StackOverflowOnSmallThreadStackWritesDump", L"thread-overflow", EFolder::kFresh, kCrashExitCode, kStackOverflow},
    {"FaultUnderLoaderLockStillWritesDump", L"loader-lock", EFolder::kFresh, kCrashExitCode, kAccessViolation},
    {"ReinstalledFilterWinsOverForeignFilter", L"foreign-replaced", EFolder::kFresh, kCrashExitCode, kAccessViolation},
    {"ForeignFilterLeftInPlaceHandlesCrashItself", L"foreign-kept", EFolder::kFresh, kForeignFilterExitCode, 0},
    {"FolderWithTrailingBackslashGetsDump", L"main", EFolder::kTrailingSlash, kCrashExitCode, kAccessViolation},
    {"NoFolderArgumentExitsWithoutDump", L"main", EFolder::kAbsent, kCrashExitCode, 0},
    {"EmptyFolderArgumentExitsWithoutDump", L"main", EFolder::kEmpty, kCrashExitCode, 0},
    {"MissingFolderExitsWithoutDump", L"main", EFolder::kMissing, kCrashExitCode, 0},
    {"LongestFittingFolderGetsDump", L"main", EFolder::kLongestFitting, kCrashExitCode, kAccessViolation},
    {"FolderOneTooLongExitsWithoutDump", L"main", EFolder::kOneTooLong, kCrashExitCode, 0},
    {"FarTooLongFolderExitsWithoutDump", L"main", EFolder::kFarTooLong, kCrashExitCode, 0},
};

// An existing folder inside `root` whose own path is `length` characters long.
std::wstring MakeFolderOfLength(const std::wstring& root, size_t length)
{
    const size_t nameChars = length - root.size() - 1;
    const std::wstring folder = root + L"\\" + std::wstring(nameChars, L'd');
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

class CrashTest : public ::testing::TestWithParam<SCrashCase>
{
};

TEST_P(CrashTest, ExitCodeAndDump)
{
    const SCrashCase& row = GetParam();
    CTempFolder root;
    CTempFolder workingFolder; // where a dump would land if the folder were dropped

    std::wstring argument;
    std::wstring watched = root.Path(); // where the dump must appear, or nothing may
    switch (row.folder) {
    case EFolder::kFresh:
        argument = root.Path();
        break;
    case EFolder::kTrailingSlash:
        argument = root.Path() + L"\\";
        break;
    case EFolder::kAbsent:
    case EFolder::kEmpty:
        watched = workingFolder.Path();
        break;
    case EFolder::kMissing:
        argument = root.Path() + L"\\missing";
        break;
    case EFolder::kLongestFitting:
        argument = watched = MakeFolderOfLength(root.Path(), kDumpPathChars - 1 - kDumpNameChars);
        break;
    case EFolder::kOneTooLong:
        argument = watched = MakeFolderOfLength(root.Path(), kDumpPathChars - kDumpNameChars);
        break;
    case EFolder::kFarTooLong:
        argument = root.Path() + L"\\" + std::wstring(400, L'f');
        break;
    }
    if (row.folder == EFolder::kLongestFitting || row.folder == EFolder::kOneTooLong) {
        ASSERT_TRUE(FolderExists(watched)) << "could not make the long folder";
    }

    const SProbeRun run = RunProbe(TestBinDir() + L"crash-probe.exe", row.mode,
                                   row.folder == EFolder::kAbsent ? nullptr : &argument, workingFolder.Path());
    EXPECT_EQ(run.exitCode, row.exitCode);
    ASSERT_FALSE(run.faultingThreads.empty()) << "crash-probe did not get as far as faulting";

    const std::vector<std::wstring> files = FilesIn(watched);
    if (!row.exceptionCode) {
        EXPECT_TRUE(files.empty()) << "a dump was written: " << Utf8(files.front());
        EXPECT_TRUE(FilesIn(workingFolder.Path()).empty()) << "a dump landed in the working folder";
        EXPECT_TRUE(FilesIn(root.Path()).empty()) << "a dump landed beside the folder";
        if (row.folder == EFolder::kMissing) {
            EXPECT_FALSE(FolderExists(argument)) << "the missing folder was created";
        }
        return;
    }

    ASSERT_EQ(files.size(), 1u) << "expected exactly one dump";
    SYSTEMTIME named;
    ASSERT_TRUE(ParseDumpName(files[0], named)) << "unexpected dump name: " << Utf8(files[0]);
    EXPECT_LE(Seconds(run.started), Seconds(named)) << "dump name is not the local time of the crash";
    EXPECT_GE(Seconds(run.ended), Seconds(named)) << "dump name is not the local time of the crash";

    const std::string bytes = ReadFileBytes(watched + L"\\" + files[0]);
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(bytes.substr(0, 4), "MDMP");
    SMiniDump dump;
    std::string error;
    ASSERT_TRUE(ReadMiniDump(bytes, dump, error)) << error;
    ASSERT_TRUE(dump.hasException) << "the dump has no exception stream";
    EXPECT_EQ(dump.exception.code, row.exceptionCode);

    // The exception stream must name the thread that faulted, not the one that
    // wrote the dump, and that thread must be among the dumped ones.
    EXPECT_TRUE(Contains(run.faultingThreads, dump.exception.threadId))
        << "exception stream names thread " << dump.exception.threadId << ", not a faulting one";
    EXPECT_TRUE(Contains(dump.threadIds, dump.exception.threadId)) << "the faulting thread is missing from the thread list";

    if (row.exceptionCode == kAccessViolation) {
        // The faulting write itself: a write (1) to crash-probe's address.
        ASSERT_EQ(dump.exception.parameters.size(), 2u);
        EXPECT_EQ(dump.exception.parameters[0], 1u);
        EXPECT_EQ(dump.exception.parameters[1], kFaultAddress);
    }
}

INSTANTIATE_TEST_SUITE_P(Crash, CrashTest, ::testing::ValuesIn(kCrashCases),
                         [](const ::testing::TestParamInfo<SCrashCase>& info) { return std::string(info.param.name); });

// Wine prefers its built-in DbgHelp to a DbgHelp.dll beside the program, where
// Windows looks first. Asks Wine, for the probe copies alone, to take the one
// beside them. The key is volatile: it ends with the Wine session.
void PreferDbgHelpBesideProbeCopies()
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\crash-probe-own-dbghelp.exe\\DllOverrides", 0,
                        nullptr, REG_OPTION_VOLATILE, KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    const wchar_t value[] = L"native";
    RegSetValueExW(key, L"dbghelp", 0, REG_SZ, reinterpret_cast<const BYTE*>(value), sizeof(value));
    RegCloseKey(key);
}

struct SMissingWriterCase
{
    const char* name;
    const wchar_t* probeFolder; // beside the probe copy in it: a DbgHelp.dll that cannot write dumps
};

std::ostream& operator<<(std::ostream& out, const SMissingWriterCase& row)
{
    return out << row.name;
}

const SMissingWriterCase kMissingWriterCases[] = {
    {"DbgHelpWithoutMiniDumpWriteDumpLeavesCrashToSystem", L"crash-dbghelp-no-writer"},
    {"DbgHelpThatIsNoLibraryLeavesCrashToSystem", L"crash-dbghelp-broken"},
};

class CrashWithoutDumpWriterTest : public ::testing::TestWithParam<SMissingWriterCase>
{
};

// The filter steps aside for the system's own crash handling: it returns
// (crash-probe then exits with 10) instead of ending the process, and makes no file.
TEST_P(CrashWithoutDumpWriterTest, FilterReturnsWithoutDump)
{
    const SMissingWriterCase& row = GetParam();
    CTempFolder folder;
    CTempFolder workingFolder;
    PreferDbgHelpBesideProbeCopies();
    const SProbeRun run = RunProbe(TestBinDir() + row.probeFolder + L"\\crash-probe-own-dbghelp.exe", L"filter-returns",
                                   &folder.Path(), workingFolder.Path());
    ASSERT_FALSE(run.faultingThreads.empty()) << "crash-probe did not get as far as faulting";
    EXPECT_EQ(run.exitCode, kFilterReturnedExitCode);
    EXPECT_TRUE(FilesIn(folder.Path()).empty()) << "a dump file was made";
}

INSTANTIATE_TEST_SUITE_P(Crash, CrashWithoutDumpWriterTest, ::testing::ValuesIn(kMissingWriterCases),
                         [](const ::testing::TestParamInfo<SMissingWriterCase>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
