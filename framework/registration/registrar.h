// Applies registration scripts (framework/registration/registry_script.h) to the registry: writes
// what a script describes on register and takes exactly that away again on unregister.
//
// Register: keys are created (or opened) in script order and their values written; a
// ForceRemove key is first deleted with everything under it, a Delete key is only deleted.
// The first failing registry call ends the run and its code is returned; what was written
// before it stays.
//
// Unregister, per script key:
//   - ForceRemove: deleted with its whole subtree, foreign content included (the script owns
//     the key outright).
//   - Normal: its script subkeys are processed and the values the script names deleted; the
//     key itself is deleted only when that leaves it empty, so foreign subkeys and values
//     beside the script's keep it alive.
//   - NoRemove: its script subkeys and named values are processed, the key itself stays.
//   - Delete: nothing (it named a removal, not something written).
// Keys and values that are already gone are not failures. A failing call does not stop the
// run: as much as possible is removed, and the first failure is returned.
//
// A script that does not parse (an unknown placeholder included) gives
// kMalformedRegistryScript, and then nothing at all has been written or removed.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "framework/registration/registry_script.h"

namespace framework {

// HRESULT_FROM_WIN32(ERROR_INVALID_DATA).
constexpr HRESULT kMalformedRegistryScript = static_cast<HRESULT>(0x8007000DL);

// The registry type of the resources that hold registration scripts.
constexpr char kRegistryResourceType[] = "REGISTRY";

class Registrar {
public:
    // Replacement for %name% in every script this registrar runs.
    void AddReplacement(const std::string& name, const std::string& value);
    // %MODULE%: the full path of the module file.
    void AddModuleReplacement(HMODULE module);
    const ScriptReplacements& Replacements() const { return replacements_; }

    HRESULT RegisterScript(std::string_view text) noexcept;
    HRESULT UnregisterScript(std::string_view text) noexcept;
    // The script in the module's "REGISTRY" resource with the given number.
    HRESULT RegisterResource(HMODULE module, UINT resourceId) noexcept;
    HRESULT UnregisterResource(HMODULE module, UINT resourceId) noexcept;

    // Where the last kMalformedRegistryScript came from.
    const ScriptError& LastScriptError() const { return lastError_; }

private:
    HRESULT Run(std::string_view text, bool registering) noexcept;
    HRESULT RunResource(HMODULE module, UINT resourceId, bool registering) noexcept;

    ScriptReplacements replacements_;
    ScriptError lastError_;
};

// The tree-level steps, for a script parsed by the caller.
HRESULT ApplyRegistration(const RegistryScript& script) noexcept;
HRESULT RemoveRegistration(const RegistryScript& script) noexcept;

// Reads a "REGISTRY" resource as 8-bit text (a UTF-16 resource with its byte-order mark is
// converted to the ANSI code page). Returns S_OK or the lookup's failure.
HRESULT LoadScriptResource(HMODULE module, UINT resourceId, std::string& text);

}  // namespace framework
