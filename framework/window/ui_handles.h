// Owner for a window that no framework object owns (a plain child, a test window).
#pragma once

#include "framework/handles.h"

using WindowHandle = framework::ClosedHandle<HWND, &DestroyWindow>;
