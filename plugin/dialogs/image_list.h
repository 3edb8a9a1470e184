// Owner of a common-controls image list.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "framework/handles.h"

namespace plugin {

using ImageListHandle = framework::ClosedHandle<HIMAGELIST, &ImageList_Destroy>;

}  // namespace plugin
