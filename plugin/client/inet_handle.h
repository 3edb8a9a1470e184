// Owner of a WinInet handle (root, connection or request).
#pragma once

#include <windows.h>
#include <wininet.h>

#include "framework/handles.h"

namespace corvane {

struct InetHandleTraits {
    using Handle = HINTERNET;
    static Handle Empty() { return nullptr; }
    static void Close(Handle handle) { InternetCloseHandle(handle); }
};

}  // namespace corvane

using InetHandle = framework::UniqueHandle<corvane::InetHandleTraits>;
