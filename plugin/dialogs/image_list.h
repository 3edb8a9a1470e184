// Owner of a common-controls image list.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "framework/handles.h"

namespace corvane {

struct ImageListTraits {
    using Handle = HIMAGELIST;
    static Handle Empty() { return nullptr; }
    static void Close(Handle list) { ImageList_Destroy(list); }
};

using ImageListHandle = framework::UniqueHandle<ImageListTraits>;

}  // namespace corvane
