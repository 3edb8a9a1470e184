// Display scaling for programs that draw at the monitor's own DPI. The per-monitor functions
// came with Windows 8.1 and 10, after the oldest Windows we run on (7), so they are looked up
// when first needed; where they are missing the answers come from the system-wide DPI, which
// is what Windows 7 scales every window by.
#pragma once

#include <windows.h>

namespace framework {

// The DPI that sizes in the program's own units are given at: 100 %.
constexpr UINT kDefaultDpi = 96;

// The system-wide DPI (the screen's LOGPIXELSX).
UINT SystemDpi();
// The DPI of the window's monitor for a per-monitor aware window, else the system's.
UINT WindowDpi(HWND window);
// The effective DPI of a monitor, or the system's before Windows 8.1.
UINT MonitorDpi(HMONITOR monitor);

// A system metric (SM_CXSMICON and the like) as it is at dpi; before Windows 10 the system's
// own value, which is at the system's DPI.
int SystemMetricForDpi(int index, UINT dpi);

// True when the window draws at its own DPI (per-monitor or system aware) rather than being
// stretched by the system. Windows without the query (before 10) report what the process is.
bool IsDpiAwareWindow(HWND window);

}  // namespace framework
