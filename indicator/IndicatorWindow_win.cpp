#include "indicator/IndicatorWindow.h"

#include "indicator/IndicatorPicture.h"

// Written once by ShowIndicatorWindow; the scan request activates it before each
// probe and shut-down destroys it.
HWND IndicatorWindow = nullptr;

namespace {

// The window whose monitor decides where the indicator goes; used only while placing it.
HWND IndicatorOwner = nullptr;
// The premultiplied picture; kept, like the window class, for the life of the process.
HBITMAP IndicatorBitmap = nullptr;

const wchar_t kClassName[] = L"TalvarineScanServer";
const wchar_t kTitle[] = L"Talvarine Scan Server";
const int kMargin = 10; // pixels kept from the right and bottom edges of the work area

// A DC made with CreateDCW or CreateCompatibleDC, deleted on scope exit. Null means none.
class CScopedDC
{
public:
    explicit CScopedDC(HDC dc) : m_dc(dc) {}
    ~CScopedDC()
    {
        if (m_dc)
            DeleteDC(m_dc);
    }
    CScopedDC(const CScopedDC&) = delete;
    CScopedDC& operator=(const CScopedDC&) = delete;
    HDC Get() const { return m_dc; }

private:
    HDC m_dc;
};

// Selects a GDI object into a DC and puts the previous one back on scope exit,
// so that the DC can be deleted without taking the picture with it.
class CScopedSelection
{
public:
    CScopedSelection(HDC dc, HGDIOBJ object) : m_dc(dc), m_previous(dc ? SelectObject(dc, object) : nullptr) {}
    ~CScopedSelection()
    {
        if (m_previous && m_previous != HGDI_ERROR)
            SelectObject(m_dc, m_previous);
    }
    CScopedSelection(const CScopedSelection&) = delete;
    CScopedSelection& operator=(const CScopedSelection&) = delete;

private:
    HDC m_dc;
    HGDIOBJ m_previous;
};

LRESULT CALLBACK IndicatorWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // A press anywhere on the picture grabs it as if by a title bar, so the
    // user can drag the borderless window out of the way.
    if (message == WM_NCHITTEST)
        return HTCAPTION;
    return DefWindowProcW(window, message, wParam, lParam);
}

// The bottom-right corner of the owner's monitor work area (so a taskbar there
// is avoided), or of the primary screen when no monitor can be found.
POINT ReferenceCorner(HWND owner)
{
    HMONITOR monitor = MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST);
    if (monitor)
    {
        MONITORINFO info = {};
        info.cbSize = sizeof(info);
        if (GetMonitorInfoW(monitor, &info))
            return {info.rcWork.right, info.rcWork.bottom};
    }
    return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

} // namespace

void ShowIndicatorWindow(HINSTANCE instance, HWND owner)
{
    IndicatorOwner = owner ? owner : GetForegroundWindow();
    IndicatorBitmap = LoadIndicatorPicture(instance);
    // Without a picture there is nothing to show and no size to give the window;
    // scans do not need it.
    if (!IndicatorBitmap)
        return;
    BITMAP bitmap = {};
    if (!GetObjectW(IndicatorBitmap, sizeof(bitmap), &bitmap))
        return;
    const int width = bitmap.bmWidth;
    const int height = bitmap.bmHeight;
    const POINT corner = ReferenceCorner(IndicatorOwner);

    WNDCLASSW windowClass = {};
    windowClass.style = 0;
    windowClass.lpfnWndProc = IndicatorWndProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kClassName;
    RegisterClassW(&windowClass);

    // Layered for per-pixel alpha, a tool window so it gets no taskbar button,
    // topmost so it stays above the host. A class that is not global is found
    // by name and instance, so the instance it was registered with is passed.
    IndicatorWindow = CreateWindowExW(WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST, kClassName, kTitle,
        WS_POPUP | WS_VISIBLE, corner.x - width - kMargin, corner.y - height - kMargin, width, height,
        GetDesktopWindow(), nullptr, instance, nullptr);
    if (!IndicatorWindow)
        return; // no display, for instance: the server runs on without it

    // Painted once: the layered-window system keeps showing the bitmap, and
    // the position given at creation stays.
    {
        CScopedDC display(CreateDCW(L"DISPLAY", nullptr, nullptr, nullptr));
        CScopedDC memory(CreateCompatibleDC(display.Get()));
        CScopedSelection selected(memory.Get(), IndicatorBitmap);
        SIZE size = {width, height};
        POINT source = {0, 0};
        BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        UpdateLayeredWindow(IndicatorWindow, nullptr, nullptr, &size, memory.Get(), &source, 0, &blend, ULW_ALPHA);
    }
    SetActiveWindow(IndicatorWindow);
}
