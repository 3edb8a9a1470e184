// Owners for the USER and GDI handles of windows and drawing.
#pragma once

#include "framework/handles.h"

namespace framework {

// A window that no framework object owns (a plain child, a test window).
struct WindowTraits {
    using Handle = HWND;
    static Handle Empty() { return nullptr; }
    static void Close(Handle window) { DestroyWindow(window); }
};

// Pens, brushes, fonts, bitmaps, regions.
struct GdiObjectTraits {
    using Handle = HGDIOBJ;
    static Handle Empty() { return nullptr; }
    static void Close(Handle object) { DeleteObject(object); }
};

}  // namespace framework

using WindowHandle = framework::UniqueHandle<framework::WindowTraits>;
using GdiObject = framework::UniqueHandle<framework::GdiObjectTraits>;
