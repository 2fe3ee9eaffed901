// The face the Win32 window's labels are drawn in.
#pragma once

#include "GdiHandles.h"

#include <string>
#include <vector>

// A text that the window draws from the left of its box, and how wide it may grow there.
struct FixedText {
    std::string text; // UTF-8
    int room = 0;     // pixels
    bool bold = false;
};

struct WindowFonts {
    std::string face;
    FontHandle regular;
    FontHandle bold;
};

// The window's fonts at pixel height `height`, in the face ChooseFace takes when every one of
// `texts` must fit its room; "MS Sans Serif" for the system to substitute where it has none of
// the faces. Tried at this very height: the bitmap sizes of "MS Sans Serif" need not match a
// scaled one.
WindowFonts ChooseWindowFonts(int height, const std::vector<FixedText>& texts);
