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

struct RegKeyTraits {
    using Handle = HKEY;
    static Handle Empty() { return nullptr; }
    static void Close(Handle key) { RegCloseKey(key); }
};

// Kernel objects: processes, threads, mutexes, events.
struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle Empty() { return nullptr; }
    static void Close(Handle handle) { CloseHandle(handle); }
};

struct MenuTraits {
    using Handle = HMENU;
    static Handle Empty() { return nullptr; }
    static void Close(Handle menu) { DestroyMenu(menu); }
};

struct IconTraits {
    using Handle = HICON;
    static Handle Empty() { return nullptr; }
    static void Close(Handle icon) { DestroyIcon(icon); }
};

struct LibraryTraits {
    using Handle = HMODULE;
    static Handle Empty() { return nullptr; }
    static void Close(Handle module) { FreeLibrary(module); }
};

struct LocalMemoryTraits {
    using Handle = HLOCAL;
    static Handle Empty() { return nullptr; }
    static void Close(Handle memory) { LocalFree(memory); }
};

}  // namespace framework

using RegKey = framework::UniqueHandle<framework::RegKeyTraits>;
using KernelHandle = framework::UniqueHandle<framework::KernelHandleTraits>;
using MenuHandle = framework::UniqueHandle<framework::MenuTraits>;
using IconHandle = framework::UniqueHandle<framework::IconTraits>;
using LibraryHandle = framework::UniqueHandle<framework::LibraryTraits>;
using LocalMemory = framework::UniqueHandle<framework::LocalMemoryTraits>;
