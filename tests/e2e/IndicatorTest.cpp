// The "Scanning..." indicator as the user sees it: the real server's layered
// window found by class and title, its styles and place on the screen, and
// pixels read back from the screen where the logo, the caption and a
// transparent corner of the picture are. Without an X display there can be no
// window, and the server must serve commands all the same.

#include "host/HostSession.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const wchar_t kClass[] = L"TalvarineScanServer";
const wchar_t kTitle[] = L"Talvarine Scan Server";
const LONG kExStyle = WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST; // 0x00080088
const int kSize = 120;
const int kCornerOffset = kSize + 10; // picture plus margin, from the work area's corner

// What lies beneath the indicator in the pixel test: a colour the picture has nowhere.
const COLORREF kBackground = RGB(255, 0, 255);

bool EndsWith(const std::string& text, const std::string& suffix)
{
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::wstring HexHandle(HWND window)
{
    wchar_t text[32];
    swprintf(text, 32, L"%llX", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(window)));
    return text;
}

RECT WorkArea(HMONITOR monitor)
{
    MONITORINFO info = {};
    info.cbSize = sizeof(info);
    GetMonitorInfoW(monitor, &info);
    return info.rcWork;
}

RECT PrimaryWorkArea()
{
    return WorkArea(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY));
}

BOOL CALLBACK KeepSecondaryMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM data)
{
    MONITORINFO info = {};
    info.cbSize = sizeof(info);
    if (GetMonitorInfoW(monitor, &info) && !(info.dwFlags & MONITORINFOF_PRIMARY))
        *reinterpret_cast<HMONITOR*>(data) = monitor;
    return TRUE;
}

// The last monitor that is not the primary one, so that the owner's monitor,
// not the primary, is seen to decide; the primary when it is alone, as under
// the plain Xvfb of the test runs.
HMONITOR PreferSecondaryMonitor()
{
    HMONITOR found = MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
    EnumDisplayMonitors(nullptr, nullptr, KeepSecondaryMonitor, reinterpret_cast<LPARAM>(&found));
    return found;
}

// The indicator of the server with this process id, or null; a server of
// another test that is still ending may show one too.
HWND FindIndicatorOf(DWORD processId)
{
    for (HWND window = FindWindowW(kClass, kTitle); window; window = FindWindowExW(nullptr, window, kClass, kTitle))
    {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId)
            return window;
    }
    return nullptr;
}

void PumpOwnMessages()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&message);
}

// One pixel of the screen, as every process's windows make it up.
COLORREF ScreenPixel(int x, int y)
{
    HDC screen = GetDC(nullptr);
    COLORREF colour = GetPixel(screen, x, y);
    ReleaseDC(nullptr, screen);
    return colour;
}

struct SPixelCase
{
    const char* name;
    int x, y; // in the picture
    bool (*matches)(COLORREF);
};

bool IsLogoBlue(COLORREF c) { return c == RGB(31, 111, 209); }
bool IsCaptionWhite(COLORREF c) { return c == RGB(255, 255, 255); }
bool IsBackground(COLORREF c) { return c == kBackground; }
// Alpha 179 of black over the background: darker than the background in every
// blend (plain black where the X server has no compositor, as under Xvfb).
bool IsDarkTile(COLORREF c) { return GetRValue(c) < 128 && GetGValue(c) < 128 && GetBValue(c) < 128; }

const SPixelCase kPixelCases[] = {
    {"logo: opaque blue left of the level bars", 36, 46, IsLogoBlue},
    {"logo: opaque blue right of the level bars", 84, 46, IsLogoBlue},
    {"caption: the stem of the first n of Scanning", 43, 100, IsCaptionWhite},
    {"caption: the stem of the i of Scanning", 65, 99, IsCaptionWhite},
    {"transparent top-left corner shows what lies beneath", 1, 1, IsBackground},
    {"transparent bottom-right corner shows what lies beneath", 118, 118, IsBackground},
    {"semi-transparent tile darkens what lies beneath", 10, 60, IsDarkTile},
};

// Waits, pumping our own window's messages, until every pixel case holds or
// the deadline passes; X draws the windows of two processes in its own time.
bool WaitForPixels(POINT origin, std::vector<std::string>& failures)
{
    for (int attempt = 0; attempt < 100; ++attempt)
    {
        PumpOwnMessages();
        failures.clear();
        for (const SPixelCase& c : kPixelCases)
        {
            COLORREF seen = ScreenPixel(origin.x + c.x, origin.y + c.y);
            if (!c.matches(seen))
            {
                char text[160];
                snprintf(text, sizeof(text), "%s: (%d,%d) is RGB(%d,%d,%d)", c.name, c.x, c.y, GetRValue(seen),
                         GetGValue(seen), GetBValue(seen));
                failures.push_back(text);
            }
        }
        if (failures.empty())
            return true;
        Sleep(100);
    }
    return false;
}

// A plain window of ours filling a monitor's work area in kBackground, under
// where the indicator will appear.
class CBackgroundWindow
{
public:
    explicit CBackgroundWindow(HMONITOR monitor)
    {
        m_brush = CreateSolidBrush(kBackground);
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.hbrBackground = m_brush;
        windowClass.lpszClassName = L"IndicatorTestBackground";
        RegisterClassW(&windowClass);
        RECT area = WorkArea(monitor);
        m_window = CreateWindowExW(0, windowClass.lpszClassName, L"background", WS_POPUP | WS_VISIBLE, area.left,
                                   area.top, area.right - area.left, area.bottom - area.top, nullptr, nullptr,
                                   windowClass.hInstance, nullptr);
        UpdateWindow(m_window);
        PumpOwnMessages();
    }
    ~CBackgroundWindow()
    {
        if (m_window)
            DestroyWindow(m_window);
        DeleteObject(m_brush);
    }
    HWND Get() const { return m_window; }

private:
    HBRUSH m_brush = nullptr;
    HWND m_window = nullptr;
};

void ExpectCleanExit(CHostSession& session)
{
    session.CloseCommands();
    session.ReadToEnd();
    EXPECT_EQ(session.WaitForExit(), 0u);
}

TEST(Indicator, WithoutOwnerSitsAtBottomRightOfPrimaryWorkArea)
{
    CHostSession session(ServerPath());
    ASSERT_TRUE(session.Start(L"{in} {out} 0"));
    ASSERT_EQ(session.ReadUntilReady(), kBanner + kReady);

    // The window exists before the banner is written.
    HWND indicator = FindIndicatorOf(session.ProcessId());
    ASSERT_NE(indicator, nullptr) << "no indicator window of the server";
    EXPECT_EQ(GetWindowLongW(indicator, GWL_EXSTYLE), kExStyle);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(indicator, GWL_STYLE)) & (WS_POPUP | WS_VISIBLE | WS_CAPTION),
              static_cast<DWORD>(WS_POPUP | WS_VISIBLE));
    EXPECT_TRUE(IsWindowVisible(indicator));

    RECT rect = {};
    ASSERT_TRUE(GetWindowRect(indicator, &rect));
    RECT area = PrimaryWorkArea();
    EXPECT_EQ(rect.right - rect.left, kSize);
    EXPECT_EQ(rect.bottom - rect.top, kSize);
    EXPECT_EQ(rect.left, area.right - kCornerOffset);
    EXPECT_EQ(rect.top, area.bottom - kCornerOffset);

    ExpectCleanExit(session);
}

TEST(Indicator, ShowsThePictureWithTransparentCornersOverTheOwnersMonitor)
{
    const HMONITOR monitor = PreferSecondaryMonitor();
    CBackgroundWindow background(monitor);
    ASSERT_NE(background.Get(), nullptr);

    CHostSession session(ServerPath());
    ASSERT_TRUE(session.Start(L"{in} {out} " + HexHandle(background.Get())));
    ASSERT_EQ(session.ReadUntilReady(), kBanner + kReady);

    HWND indicator = FindIndicatorOf(session.ProcessId());
    ASSERT_NE(indicator, nullptr) << "no indicator window of the server";
    RECT rect = {};
    ASSERT_TRUE(GetWindowRect(indicator, &rect));
    RECT area = WorkArea(monitor);
    EXPECT_EQ(rect.left, area.right - kCornerOffset);
    EXPECT_EQ(rect.top, area.bottom - kCornerOffset);

    std::vector<std::string> failures;
    EXPECT_TRUE(WaitForPixels(POINT{rect.left, rect.top}, failures));
    for (const std::string& failure : failures)
        ADD_FAILURE() << failure;

    // Scans go on with the window shown.
    std::string answer = session.Command("C:\\no such folder\\missing.dll\n");
    EXPECT_TRUE(EndsWith(answer, kReady)) << answer;

    ExpectCleanExit(session);
}

// Only the message-loop mode dispatches at any time: in command mode the server
// sits in ReadFile and a sent message would wait for the next command.
TEST(Indicator, PressAnywhereOnThePictureGrabsItLikeATitleBar)
{
    CHostSession session(ServerPath());
    session.RedirectStandardOutput();
    ASSERT_TRUE(session.Start(L""));
    ASSERT_EQ(session.ReadUntil("\n"), kBanner);

    HWND indicator = FindIndicatorOf(session.ProcessId());
    ASSERT_NE(indicator, nullptr) << "no indicator window of the server";
    RECT rect = {};
    ASSERT_TRUE(GetWindowRect(indicator, &rect));
    const POINT points[] = {{rect.left + 60, rect.top + 60}, {rect.left + 1, rect.top + 1}, {rect.left + 43, rect.top + 100}};
    for (const POINT& point : points)
    {
        DWORD_PTR hit = 0;
        ASSERT_TRUE(SendMessageTimeoutW(indicator, WM_NCHITTEST, 0, MAKELPARAM(point.x, point.y), SMTO_ABORTIFHUNG,
                                        10000, &hit));
        EXPECT_EQ(hit, static_cast<DWORD_PTR>(HTCAPTION)) << "at " << point.x << "," << point.y;
    }

    ASSERT_TRUE(session.PostQuit());
    EXPECT_EQ(session.WaitForExit(), 0u);
}

// Wine starts every child with the Unix environment of its parent, whatever
// environment block CreateProcessW is given, so a server without DISPLAY needs
// a test program without it: ctest runs this suite again as e2e-no-display,
// with DISPLAY taken out of the environment.
TEST(IndicatorWithoutDisplay, ServerStillAnswersCommands)
{
    if (GetEnvironmentVariableW(L"DISPLAY", nullptr, 0) != 0)
        GTEST_SKIP() << "runs without DISPLAY only (ctest: e2e-no-display)";

    CHostSession session(ServerPath());
    ASSERT_TRUE(session.Start(L"{in} {out} 0"));
    ASSERT_EQ(session.ReadUntilReady(), kBanner + kReady);
    EXPECT_EQ(FindIndicatorOf(session.ProcessId()), nullptr) << "a window without an X display";

    for (int i = 0; i < 2; ++i)
    {
        std::string answer = session.Command("C:\\no such folder\\missing.dll\n");
        EXPECT_EQ(answer.compare(0, 22, "info:Scanning plugin: "), 0) << answer;
        EXPECT_TRUE(EndsWith(answer, kReady)) << answer;
    }
    ExpectCleanExit(session);
}

} // namespace
