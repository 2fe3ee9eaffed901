// The window's controls and their texts, as one table every view builds from.
#include "ControlTable.h"

#include <algorithm>
#include <stdexcept>

#ifndef MORVIK2_MAKER_TEXT
#define MORVIK2_MAKER_TEXT ""
#endif
#ifndef MORVIK2_MAKER_URL
#define MORVIK2_MAKER_URL ""
#endif
#ifndef MORVIK2_MAKER_URL_CAPTION
#define MORVIK2_MAKER_URL_CAPTION MORVIK2_MAKER_URL
#endif

const std::string& MakerText() {
    static const std::string text = MORVIK2_MAKER_TEXT;
    return text;
}

const std::string& MakerUrl() {
    static const std::string url = MORVIK2_MAKER_URL;
    return url;
}

const std::string& MakerUrlCaption() {
    static const std::string caption = MORVIK2_MAKER_URL_CAPTION;
    return caption;
}

const std::vector<const char*>& SimilarFaces() {
    static const std::vector<const char*> faces = {
        "Microsoft Sans Serif",
        "Tahoma",
        "Liberation Sans",
        "Arimo",
        "Arial",
        "Helvetica",
        "Nimbus Sans",
        "DejaVu Sans Condensed",
        "Liberation Sans Narrow",
        "Arial Narrow",
        "Nimbus Sans Narrow",
        "DejaVu Sans",
    };
    return faces;
}

const std::vector<ControlEntry>& Controls() {
    using K = ControlKind;
    static const std::vector<ControlEntry> controls = {
        {"Image1", K::Picture, 0, 0, 276, 345, ""},
        // The trailing blanks belong to the texts.
        {"Label7", K::Label, 6, 76, 147, 13, "1. Morvik 2 ausschalten ", true},
        {"Label9", K::Label, 6, 92, 254, 13, "2. PC-Adapter am PC anschließen (-> COM..)", true},
        {"Label5", K::Label, 6, 108, 231, 13, "3. PC-Adapter am Morvik 2 anschließen", true},
        {"Label6", K::Label, 22, 124, 101, 13, "(-> Seriell 1 COM)", true},
        {"Label2", K::Label, 6, 140, 134, 13, "4. COM Port auswählen", true},
        {"Label8", K::Label, 6, 156, 150, 13, "5. 'Programmieren' klicken", true},
        {"Label10", K::Label, 6, 172, 144, 13, "6. Morvik 2 einschalten ", true},
        {"Label3", K::Label, 139, 188, 46, 13, "COM Port"},
        {"ComboBox2", K::ComboBox, 192, 184, 65, 21, "", false, 0},
        {"Bevel1", K::TopBevel, 0, 207, 281, 17, ""},
        {"Edit2", K::StatusEdit, 32, 216, 225, 21, "", false, 2},
        {"Label4", K::Label, 8, 232, 18, 13, "Info"},
        {"ProgressBar1", K::ProgressBar, 32, 240, 225, 16, "", false, 3},
        {"Button2", K::Button, 56, 264, 89, 25, "Programmieren", false, 1},
        {"Button3", K::Button, 160, 264, 73, 25, "Stop (ESC)", false, 4},
        {"Bevel2", K::BottomBevel, -1, 289, 281, 10, ""},
        {"Label1", K::Label, 72, 304, 134, 13, MakerText()},
        {"AsUrlLabel1", K::UrlLabel, 72, 320, 135, 16, MakerUrlCaption()},
    };
    return controls;
}

int LabelRoom(const ControlEntry& label) {
    constexpr int gap = 2;
    int right = ClientWidth;
    for (const ControlEntry& other : Controls()) {
        const bool overlapsRows =
            other.top < label.top + label.height && label.top < other.top + other.height;
        const bool interactive = other.kind != ControlKind::Picture &&
                                 other.kind != ControlKind::TopBevel &&
                                 other.kind != ControlKind::BottomBevel;
        if (&other != &label && interactive && overlapsRows &&
            other.left >= label.left + label.width)
            right = std::min(right, other.left);
    }
    return right - gap - label.left;
}

const ControlEntry& Control(const std::string& name) {
    for (const ControlEntry& control : Controls())
        if (name == control.name)
            return control;
    throw std::logic_error("no control " + name);
}
