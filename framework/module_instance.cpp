// Module handles, module paths and module icons.
#include "framework/module_instance.h"

namespace framework {
namespace {

HINSTANCE resourceInstance = nullptr;

// The longest path the system hands out, in characters without the NUL.
constexpr DWORD kLongestPath = 32767;

// Reads a module path into text (a std::string or a vector of wide characters) through read,
// with room for the longest path; empties text when the path cannot be had whole.
template <typename Text, typename Read>
void ReadModulePath(Text& text, Read read) {
    text.resize(kLongestPath + 1);
    const DWORD length = read(text.data(), kLongestPath + 1);
    // A full buffer means a cut path.
    text.resize(length <= kLongestPath ? length : 0);
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
    ReadModulePath(path, [module](wchar_t* buffer, DWORD size) {
        return GetModuleFileNameW(module, buffer, size);
    });
    if (path.empty()) return false;
    path.push_back(L'\0');
    return true;
}

}  // namespace framework
