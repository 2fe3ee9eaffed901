// The Qt window's face and the label sizes it is checked against.
#include "QtWindowFont.h"

#include "FaceChoice.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QRect>
#include <QStringList>
#include <algorithm>

namespace {

// Qt names a family "Name [foundry]" when several foundries ship it.
bool Installed(const QStringList& families, const QString& family) {
    for (const QString& name : families)
        if (name.compare(family, Qt::CaseInsensitive) == 0 ||
            name.startsWith(family + " [", Qt::CaseInsensitive))
            return true;
    return false;
}

QFont Face(const QString& family, int pixelSize) {
    QFont font(family);
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    return font;
}

} // namespace

bool TextFits(const QFont& font, const FixedText& text) {
    if (text.text.trimmed().isEmpty())
        return true;
    QFont face = font;
    face.setBold(text.bold);
    const QFontMetrics metrics(face);
    const QRect ink = metrics.tightBoundingRect(text.text).translated(0, metrics.ascent());
    return QRect(QPoint(0, 0), text.box).contains(ink);
}

QFont WindowFont(int pixelSize, const std::vector<FixedText>& texts) {
    const QStringList families = QFontDatabase::families();
    const std::optional<std::string> face = ChooseFace(
        [&](const std::string& family) {
            return Installed(families, QString::fromStdString(family));
        },
        [&](const std::string& family) {
            const QFont font = Face(QString::fromStdString(family), pixelSize);
            return std::all_of(texts.begin(), texts.end(),
                               [&](const FixedText& text) { return TextFits(font, text); });
        });
    return Face(face ? QString::fromStdString(*face) : QString(), pixelSize);
}
