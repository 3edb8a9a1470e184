// The one interlocked reference count behind every COM object of the framework.
#pragma once

#include <windows.h>

namespace framework {

// Release deletes the owner with the last reference. An owner with a private destructor makes
// this class its friend.
class ReferenceCount {
public:
    explicit ReferenceCount(LONG initial = 0) noexcept : count_(initial) {}
    ReferenceCount(const ReferenceCount&) = delete;
    ReferenceCount& operator=(const ReferenceCount&) = delete;

    ULONG AddRef() noexcept { return static_cast<ULONG>(InterlockedIncrement(&count_)); }

    template <typename Owner>
    ULONG Release(Owner* owner) noexcept {
        const LONG left = InterlockedDecrement(&count_);
        if (left == 0) delete owner;
        return static_cast<ULONG>(left);
    }

private:
    LONG count_;
};

}  // namespace framework
