// Module handles, module paths and module icons.
#include "framework/module_instance.h"

namespace framework {
namespace {

HINSTANCE resourceInstance = nullptr;

// Reads a module path into text (a std::string or a vector of wide characters) through read,
// with more room while a full buffer may mean a cut path. The path's length, 0 on failure.
template <typename Text, typename Read>
size_t ReadModulePath(Text& text, Read read) {
    text.assign(MAX_PATH, typename Text::value_type());
    for (;;) {
        const DWORD length = read(text.data(), static_cast<DWORD>(text.size()));
        if (length == 0) break;
        if (length < text.size()) {
            text.resize(length);
            return length;
        }
        if (text.size() >= 32768) break;
        text.resize(text.size() * 2);
    }
    text.clear();
    return 0;
}

}  // namespace

HINSTANCE CodeInstance() {
    static const HINSTANCE instance = [] {
        HMODULE module = nullptr;
        GetModuleHandleExA(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<const char*>(&CodeInstance), &module);
        return module;
    }();
    return instance;
}

HINSTANCE ResourceInstance() {
    return resourceInstance ? resourceInstance : CodeInstance();
}

void SetResourceInstance(HINSTANCE instance) {
    resourceInstance = instance;
}

std::string ModuleFileName(HMODULE module) {
    std::string path;
    ReadModulePath(path, [module](char* buffer, DWORD size) {
        return GetModuleFileNameA(module, buffer, size);
    });
    return path;
}

bool ModuleFileNameWide(HMODULE module, std::vector<wchar_t>& path) {
    if (ReadModulePath(path, [module](wchar_t* buffer, DWORD size) {
            return GetModuleFileNameW(module, buffer, size);
        }) == 0) {
        return false;
    }
    path.push_back(L'\0');
    return true;
}

IconHandle LoadModuleIcon(HMODULE module, int iconId, int size) {
    if (!module) return IconHandle();
    return IconHandle(static_cast<HICON>(
        LoadImageA(module, MAKEINTRESOURCEA(iconId), IMAGE_ICON, size, size, LR_DEFAULTCOLOR)));
}

IconHandle LoadNamedModuleIcon(const char* moduleFileName, int iconId, int size) {
    return LoadModuleIcon(GetModuleHandleA(moduleFileName), iconId, size);
}

}  // namespace framework
