// Module-wide lock count and critical section of an in-process server.
#include "framework/com/inproc_module.h"

namespace framework {

namespace {
LONG lockCount = 0;
}  // namespace

void LockModule() noexcept {
    InterlockedIncrement(&lockCount);
}

void UnlockModule() noexcept {
    InterlockedDecrement(&lockCount);
}

LONG ModuleLockCount() noexcept {
    return InterlockedCompareExchange(&lockCount, 0, 0);
}

HRESULT CanUnloadModule() noexcept {
    return ModuleLockCount() == 0 ? S_OK : S_FALSE;
}

CriticalSection& ModuleCriticalSection() noexcept {
    static CriticalSection section;
    return section;
}

}  // namespace framework
