// What an in-process COM server keeps per module: the lock count that decides whether the
// DLL may be unloaded, and the module's critical section for its rare one-time steps.
#pragma once

#include <windows.h>

namespace framework {

// Every live COM object of the module and every LockServer(TRUE) holds one lock.
void LockModule() noexcept;
void UnlockModule() noexcept;
LONG ModuleLockCount() noexcept;
// DllCanUnloadNow's answer: S_OK with no lock held, S_FALSE otherwise.
HRESULT CanUnloadModule() noexcept;

class CriticalSection {
public:
    CriticalSection() noexcept { InitializeCriticalSection(&section_); }
    ~CriticalSection() { DeleteCriticalSection(&section_); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void Enter() noexcept { EnterCriticalSection(&section_); }
    void Leave() noexcept { LeaveCriticalSection(&section_); }

private:
    CRITICAL_SECTION section_;
};

class CriticalSectionLock {
public:
    explicit CriticalSectionLock(CriticalSection& section) noexcept : section_(section) {
        section_.Enter();
    }
    ~CriticalSectionLock() { section_.Leave(); }
    CriticalSectionLock(const CriticalSectionLock&) = delete;
    CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

private:
    CriticalSection& section_;
};

// The module's one critical section; usable from the first call on, whatever the order of
// static construction.
CriticalSection& ModuleCriticalSection() noexcept;

}  // namespace framework
