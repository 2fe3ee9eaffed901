// Owners for the Win32 window's fonts, bitmap and icons.
#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

// The window's GDI objects and icons, freed with their holder: also when the window's
// constructor throws, where no destructor runs.
struct GdiObjectDeleter {
    void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
struct IconDeleter {
    void operator()(HICON icon) const { DestroyIcon(icon); }
};

using FontHandle = std::unique_ptr<std::remove_pointer_t<HFONT>, GdiObjectDeleter>;
using BitmapHandle = std::unique_ptr<std::remove_pointer_t<HBITMAP>, GdiObjectDeleter>;
using IconHandle = std::unique_ptr<std::remove_pointer_t<HICON>, IconDeleter>;
