#include "WindowFont.h"

#include "ControlTable.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QRect>
#include <QStringList>

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
    if (Installed(families, "MS Sans Serif"))
        return Face("MS Sans Serif", pixelSize);
    std::vector<QFont> installed;
    for (const char* family : SimilarFaces())
        if (Installed(families, family))
            installed.push_back(Face(family, pixelSize));
    for (const QFont& font : installed) {
        bool fits = true;
        for (const FixedText& text : texts)
            fits = fits && TextFits(font, text);
        if (fits)
            return font;
    }
    return installed.empty() ? Face(QString(), pixelSize) : installed.front();
}
