// Entry point of Zephlist.exe.
#include <windows.h>

#include "tray/zephlist_module.h"

namespace {
// Constructed before WinMain: COM is initialised for the whole run.
tray::CZephlistModule module;
}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    try {
        return module.WinMain();
    } catch (...) {
        return -1;
    }
}
