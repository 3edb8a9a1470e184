#include "tests/faults/resource_figures.h"

#include <psapi.h>

#include <cstdio>

namespace faults_testing {
namespace {

struct WindowCount {
    DWORD processId = 0;
    DWORD count = 0;
};

BOOL CALLBACK CountChild(HWND, LPARAM param) {
    ++reinterpret_cast<WindowCount*>(param)->count;
    return TRUE;
}

BOOL CALLBACK CountTopLevel(HWND window, LPARAM param) {
    auto* counting = reinterpret_cast<WindowCount*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == counting->processId) {
        ++counting->count;
        EnumChildWindows(window, CountChild, param);
    }
    return TRUE;
}

// Counts the handle values that name an open object of the process: each one duplicates.
DWORD ProbeHandleCount(HANDLE process) {
    constexpr UINT_PTR kGiveUpAfter = 4096;  // handle values past the last open one
    DWORD count = 0;
    UINT_PTR lastOpen = 0;
    for (UINT_PTR value = 4; value < lastOpen + kGiveUpAfter; value += 4) {
        HANDLE copy = nullptr;
        if (DuplicateHandle(process, reinterpret_cast<HANDLE>(value), GetCurrentProcess(), &copy, 0,
                            FALSE, DUPLICATE_SAME_ACCESS)) {
            CloseHandle(copy);
            ++count;
            lastOpen = value;
        }
    }
    return count;
}

SIZE_T CommittedPrivateBytes(HANDLE process) {
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION region{};
    for (const char* address = nullptr;
         VirtualQueryEx(process, address, &region, sizeof region) == sizeof region;
         address = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
        if (region.RegionSize == 0) break;
    }
    return total;
}

}  // namespace

std::string ResourceFigures::Describe() const {
    char text[256];
    std::snprintf(text, sizeof text,
                  "handles %lu%s, GDI objects %lu, USER objects %lu, windows %lu, private %lu KiB, "
                  "working set %lu KiB",
                  static_cast<unsigned long>(handles), handlesProbed ? " (probed)" : "",
                  static_cast<unsigned long>(gdiObjects), static_cast<unsigned long>(userObjects),
                  static_cast<unsigned long>(windows),
                  static_cast<unsigned long>(privateBytes / 1024),
                  static_cast<unsigned long>(workingSet / 1024));
    return text;
}

ResourceFigures TakeFigures(HANDLE process) {
    ResourceFigures figures;
    if (!GetProcessHandleCount(process, &figures.handles) || figures.handles == 0) {
        figures.handles = ProbeHandleCount(process);
        figures.handlesProbed = true;
    }
    figures.gdiObjects = GetGuiResources(process, GR_GDIOBJECTS);
    figures.userObjects = GetGuiResources(process, GR_USEROBJECTS);
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    if (GetProcessMemoryInfo(process, &memory, sizeof memory)) {
        figures.workingSet = memory.WorkingSetSize;
    }
    figures.privateBytes = CommittedPrivateBytes(process);
    WindowCount counting;
    counting.processId = GetProcessId(process);
    EnumWindows(CountTopLevel, reinterpret_cast<LPARAM>(&counting));
    figures.windows = counting.count;
    return figures;
}

bool GdiCountsMove() {
    static const bool moves = [] {
        const DWORD before = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
        HBRUSH brushes[8];
        for (HBRUSH& brush : brushes) brush = CreateSolidBrush(RGB(1, 2, 3));
        const DWORD during = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
        for (HBRUSH brush : brushes) DeleteObject(brush);
        return during >= before + 8;
    }();
    return moves;
}

bool UserCountsMove() {
    static const bool moves = [] {
        const DWORD before = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
        HWND windows[4];
        for (HWND& window : windows) {
            window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                     GetModuleHandleA(nullptr), nullptr);
        }
        const DWORD during = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
        for (HWND window : windows) DestroyWindow(window);
        return during >= before + 4;
    }();
    return moves;
}

void PrintFigures(const char* what, const char* when, const ResourceFigures& figures) {
    std::printf("[figures] %s, %s: %s\n", what, when, figures.Describe().c_str());
    std::fflush(stdout);
}

}  // namespace faults_testing
