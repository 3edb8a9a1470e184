// Owner of a WinInet handle (root, connection or request).
#pragma once

#include <windows.h>
#include <wininet.h>

#include "framework/handles.h"

namespace plugin {

using InetHandle = framework::ClosedHandle<HINTERNET, &InternetCloseHandle>;

}  // namespace plugin
