// A module's own manifest made the thread's activation context for a while: how a DLL inside
// someone else's process gets the common controls its manifest names (version 6, themed) for
// the windows it makes, while the host's threads keep the context they have.
//
//   ModuleActivationContext context(dllInstance);  // once; resource 2 of the DLL
//   {
//       ActivationScope scope(context);
//       dialog.DoModal(owner);  // its controls are made in the DLL's context
//   }
#pragma once

#include <windows.h>

namespace framework {

// The module's manifest resource for code that loads it itself (a DLL's).
constexpr WORD kIsolationManifestId = 2;  // ISOLATIONAWARE_MANIFEST_RESOURCE_ID

// Owns the activation context made from a manifest resource of a module. Empty when the module
// has no such manifest or the system refuses it; an empty context activates nothing.
class ModuleActivationContext {
public:
    explicit ModuleActivationContext(HMODULE module, WORD manifestId = kIsolationManifestId);
    ~ModuleActivationContext();
    ModuleActivationContext(const ModuleActivationContext&) = delete;
    ModuleActivationContext& operator=(const ModuleActivationContext&) = delete;

    explicit operator bool() const { return context_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return context_; }

private:
    HANDLE context_;
};

// Activates a context on this thread for the scope's life; the thread's previous context is
// active again afterwards, also when the scope ends through an exception.
class ActivationScope {
public:
    explicit ActivationScope(const ModuleActivationContext& context);
    ~ActivationScope();
    ActivationScope(const ActivationScope&) = delete;
    ActivationScope& operator=(const ActivationScope&) = delete;

private:
    ULONG_PTR cookie_ = 0;
    bool active_ = false;
};

}  // namespace framework
