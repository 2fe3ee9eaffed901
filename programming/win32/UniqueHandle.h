// Win32 file and device handles closed by their owner.
#pragma once

#include "UniqueResource.h"

#include <windows.h>

struct HandleTraits {
    using Native = HANDLE;
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static bool Close(HANDLE handle) { return CloseHandle(handle) != 0; }
};
using UniqueHandle = UniqueResource<HandleTraits>;
