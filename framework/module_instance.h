// The modules a piece of code works with: the one its code is in, the one its resources come
// from, their file paths and the icons they carry.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "framework/handles.h"

namespace framework {

// The module whose code this is: the executable, or the DLL when linked into one. Window
// classes are registered with it, and a server registers this file.
HINSTANCE CodeInstance();

// The module that holds dialog templates and other resources. Defaults to CodeInstance(); a
// host that keeps its resources elsewhere sets it before running dialogs.
HINSTANCE ResourceInstance();
void SetResourceInstance(HINSTANCE instance);

// Full path of a module file (null: the executable); empty when it cannot be had whole.
std::string ModuleFileName(HMODULE module);
// The same in UTF-16 and NUL-terminated, for the calls that take wide paths. A vector rather
// than std::wstring keeps the wide string's library code out of the binaries. False (with the
// system's error code set) when the path cannot be had whole.
bool ModuleFileNameWide(HMODULE module, std::vector<wchar_t>& path);

// Icon resource iconId at size x size pixels from the module; empty when either is missing.
// Inline, as the next one, so that each binary carries only what it calls.
inline framework::IconHandle LoadModuleIcon(HMODULE module, int iconId, int size) {
    if (!module) return framework::IconHandle();
    return framework::IconHandle(static_cast<HICON>(
        LoadImageA(module, MAKEINTRESOURCEA(iconId), IMAGE_ICON, size, size, LR_DEFAULTCOLOR)));
}

// The same from the module of the process that has this file name, found by that name alone:
// resources that belong to one named file, whoever asks for them.
inline framework::IconHandle LoadNamedModuleIcon(const char* moduleFileName, int iconId, int size) {
    return LoadModuleIcon(GetModuleHandleA(moduleFileName), iconId, size);
}

}  // namespace framework
