#include "framework/window/dpi.h"

namespace framework {

namespace {

// DPI_AWARENESS_CONTEXT is a Windows 10 type; the values are small negative handles.
using AwarenessContext = HANDLE;
const AwarenessContext kUnawareContext = reinterpret_cast<AwarenessContext>(-1);
const AwarenessContext kUnawareGdiScaledContext = reinterpret_cast<AwarenessContext>(-5);

using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
using GetSystemMetricsForDpiFunction = int(WINAPI*)(int, UINT);
using GetWindowDpiAwarenessContextFunction = AwarenessContext(WINAPI*)(HWND);
using AreDpiAwarenessContextsEqualFunction = BOOL(WINAPI*)(AwarenessContext, AwarenessContext);
using GetDpiForMonitorFunction = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
using IsProcessDpiAwareFunction = BOOL(WINAPI*)();

template <typename Function>
Function User32Function(const char* name) {
    // user32 stays loaded for the life of any process that has windows.
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), name)));
}

}  // namespace

UINT SystemDpi() {
    HDC screen = GetDC(nullptr);
    if (!screen) return kDefaultDpi;
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : kDefaultDpi;
}

UINT WindowDpi(HWND window) {
    static const auto getDpiForWindow = User32Function<GetDpiForWindowFunction>("GetDpiForWindow");
    if (getDpiForWindow && window) {
        const UINT dpi = getDpiForWindow(window);
        if (dpi > 0) return dpi;
    }
    return SystemDpi();
}

UINT MonitorDpi(HMONITOR monitor) {
    // From the system folder only (never beside the program), once, kept for the process's life.
    static const auto getDpiForMonitor = [] {
        HMODULE shcore = LoadLibraryExA("shcore.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        return shcore ? reinterpret_cast<GetDpiForMonitorFunction>(
                            reinterpret_cast<void*>(GetProcAddress(shcore, "GetDpiForMonitor")))
                      : nullptr;
    }();
    constexpr int kEffectiveDpi = 0;  // MDT_EFFECTIVE_DPI
    UINT dpiX = 0;
    UINT dpiY = 0;
    if (getDpiForMonitor && monitor &&
        SUCCEEDED(getDpiForMonitor(monitor, kEffectiveDpi, &dpiX, &dpiY)) && dpiX > 0) {
        return dpiX;
    }
    return SystemDpi();
}

int SystemMetricForDpi(int index, UINT dpi) {
    static const auto getSystemMetricsForDpi =
        User32Function<GetSystemMetricsForDpiFunction>("GetSystemMetricsForDpi");
    return getSystemMetricsForDpi ? getSystemMetricsForDpi(index, dpi) : GetSystemMetrics(index);
}

bool IsDpiAwareWindow(HWND window) {
    static const auto getAwareness =
        User32Function<GetWindowDpiAwarenessContextFunction>("GetWindowDpiAwarenessContext");
    static const auto areEqual =
        User32Function<AreDpiAwarenessContextsEqualFunction>("AreDpiAwarenessContextsEqual");
    if (getAwareness && areEqual && window) {
        const AwarenessContext awareness = getAwareness(window);
        return awareness && !areEqual(awareness, kUnawareContext) &&
               !areEqual(awareness, kUnawareGdiScaledContext);
    }
    static const auto isProcessAware =
        User32Function<IsProcessDpiAwareFunction>("IsProcessDPIAware");
    return isProcessAware && isProcessAware() != FALSE;
}

}  // namespace framework
