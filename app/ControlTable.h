// The window's controls as data, shared by the Qt and the Win32 view.
#pragma once

#include <string>
#include <vector>

// The window's controls as data: every view builds its controls from this one table, in this
// order (the background picture first, so that everything else lies on top of it).

enum class ControlKind {
    Picture,     // the background picture
    Label,       // transparent over the picture
    ComboBox,    // a drop-down list without free text
    TopBevel,    // a lowered line along the top edge of its box
    BottomBevel, // a lowered line along the bottom edge of its box
    StatusEdit,  // read-only, greyed, no tab stop
    ProgressBar, // smooth, 0 to 100
    Button,
    UrlLabel, // the maker's web link
};

struct ControlEntry {
    const char* name;
    ControlKind kind;
    int left, top, width, height;
    std::string caption; // UTF-8
    bool bold = false;
    int tabOrder = -1; // position in the tab order, -1 for none
};

// Window: client area, font and the pacing timer's period.
constexpr int ClientWidth = 275;
constexpr int ClientHeight = 338;
constexpr int FontPixelHeight = 11; // "MS Sans Serif", 8 point
constexpr const char* FontFace = "MS Sans Serif";
constexpr int LinkFontPixelHeight = 13;
// Where "MS Sans Serif" is missing or a label does not fit in it: the closest faces first, then
// narrower ones for systems whose regular faces run wider than the fixed label boxes. The
// first that is installed and shows every label whole serves (ChooseFace).
const std::vector<const char*>& SimilarFaces();
constexpr int Timer1Interval = 250; // ms

// The maker's data, set when building.
const std::string& MakerText();
const std::string& MakerUrl();
const std::string& MakerUrlCaption();

const std::vector<ControlEntry>& Controls();
// How wide a label's text may grow in another face, as a self-sizing label would: up to the
// next control to its right on the same rows, or the window's edge, leaving a small gap.
int LabelRoom(const ControlEntry& label);
// The entry named `name`; the table has every control the window needs.
const ControlEntry& Control(const std::string& name);
