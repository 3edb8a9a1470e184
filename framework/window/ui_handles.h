// Owner for a window that no framework object owns (a plain child, a test window).
#pragma once

#include "framework/handles.h"

namespace framework {

using WindowHandle = ClosedHandle<HWND, &DestroyWindow>;

}  // namespace framework
