#include "framework/window/activation_context.h"

namespace framework {

ModuleActivationContext::ModuleActivationContext(HMODULE module, WORD manifestId)
    : context_(INVALID_HANDLE_VALUE) {
    // The request names the module by its path as well as by its handle.
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
    if (!module || length == 0 || length >= MAX_PATH) return;
    ACTCTXA request = {};
    request.cbSize = sizeof request;
    request.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
    request.lpSource = path;
    request.hModule = module;
    request.lpResourceName = MAKEINTRESOURCEA(manifestId);
    context_ = CreateActCtxA(&request);
}

ModuleActivationContext::~ModuleActivationContext() {
    if (context_ != INVALID_HANDLE_VALUE) ReleaseActCtx(context_);
}

ActivationScope::ActivationScope(const ModuleActivationContext& context) {
    if (context) active_ = ActivateActCtx(context.Get(), &cookie_) != FALSE;
}

ActivationScope::~ActivationScope() {
    if (active_) DeactivateActCtx(0, cookie_);
}

}  // namespace framework
