// Owner of a common-controls image list.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "framework/handles.h"

namespace corvane {

using ImageListHandle = framework::ClosedHandle<HIMAGELIST, &ImageList_Destroy>;

}  // namespace corvane
