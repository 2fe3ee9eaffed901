// The face the Qt window's labels are drawn in.
#pragma once

#include <QFont>
#include <QSize>
#include <QString>
#include <vector>

// A text that the window shows in a box of fixed size, at the top left.
struct FixedText {
    QString text;
    QSize box;
    bool bold = false;
};

// Whether every pixel of `text` in `font` lies inside its box.
bool TextFits(const QFont& font, const FixedText& text);

// The window's font at pixel height `pixelSize`, in the face ChooseFace takes when every one of
// `texts` must show whole. The same fonts installed give the same choice.
QFont WindowFont(int pixelSize, const std::vector<FixedText>& texts);
