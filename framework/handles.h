// Owners for the Win32 handles both deliverables use: each closes its handle exactly once, on
// every path out of the scope that holds it.
#pragma once

#include <windows.h>

#include <utility>

namespace framework {

// One owner type per handle kind: Traits gives the empty value and the close function.
template <typename Traits>
class UniqueHandle {
public:
    using Handle = typename Traits::Handle;

    UniqueHandle() = default;
    explicit UniqueHandle(Handle handle) : handle_(handle) {}
    ~UniqueHandle() { Reset(); }

    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }

    Handle Get() const { return handle_; }
    explicit operator bool() const { return handle_ != Traits::Empty(); }

    // For out-parameters of the creating call; closes what was held before.
    Handle* Receive() {
        Reset();
        return &handle_;
    }

    Handle Release() { return std::exchange(handle_, Traits::Empty()); }

    void Reset(Handle handle = Traits::Empty()) {
        if (handle_ != Traits::Empty()) Traits::Close(handle_);
        handle_ = handle;
    }

private:
    Handle handle_ = Traits::Empty();
};

// The traits of a handle kind whose empty value is null and that one function closes.
template <typename HandleType, auto CloseFunction>
struct ClosedBy {
    using Handle = HandleType;
    static Handle Empty() { return nullptr; }
    static void Close(Handle handle) { CloseFunction(handle); }
};

// The owner of such a handle.
template <typename HandleType, auto CloseFunction>
using ClosedHandle = UniqueHandle<ClosedBy<HandleType, CloseFunction>>;

using RegKey = ClosedHandle<HKEY, &RegCloseKey>;
// Kernel objects: processes, threads, mutexes, events.
using KernelHandle = ClosedHandle<HANDLE, &CloseHandle>;
using MenuHandle = ClosedHandle<HMENU, &DestroyMenu>;
using IconHandle = ClosedHandle<HICON, &DestroyIcon>;
using LibraryHandle = ClosedHandle<HMODULE, &FreeLibrary>;
using LocalMemory = ClosedHandle<HLOCAL, &LocalFree>;

}  // namespace framework
