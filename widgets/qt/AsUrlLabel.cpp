// TAsUrlLabel in Qt: a label that acts as a link.
#include "AsUrlLabel.h"

#include "UrlOpener.h"
#include "UrlText.h"

#include <QApplication>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QPalette>

namespace {

Qt::Alignment HorizontalFlag(TAlignment value) {
    switch (value) {
    case taRightJustify:
        return Qt::AlignRight;
    case taCenter:
        return Qt::AlignHCenter;
    case taLeftJustify:
        break;
    }
    return Qt::AlignLeft;
}

Qt::Alignment VerticalFlag(TTextLayout value) {
    switch (value) {
    case tlCenter:
        return Qt::AlignVCenter;
    case tlBottom:
        return Qt::AlignBottom;
    case tlTop:
        break;
    }
    return Qt::AlignTop;
}

QColor ButtonFaceColor() {
    return QApplication::palette().color(QPalette::Button);
}

} // namespace

void TLabelFont::Assign(const TLabelFont& source) {
    Font = source.Font;
    Color = source.Color;
}

void TLabelFont::ClearStyle() {
    Font.setBold(false);
    Font.setItalic(false);
    Font.setUnderline(false);
    Font.setStrikeOut(false);
}

const char* const TAsUrlLabel::DefaultUrl = "https://www.example.com/";

TAsUrlLabel::TUrlOpener TAsUrlLabel::UrlOpener = OpenWithDefaultHandler;

TAsUrlLabel::TAsUrlLabel(QWidget* parent) : QLabel(parent) {
    // The standard label this stands in for starts top-left and opaque.
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    SetTransparent(false);

    setCursor(Qt::PointingHandCursor);
    SetCaption(QString::fromLatin1(DefaultUrl));
    TLabelFont font = Font();
    font.Color = Qt::blue;
    font.Font.setUnderline(true);
    SetFont(font);
    // No automatic sizing: a QLabel keeps whatever geometry its owner gives it.

    hoverAlignment_ = taLeftJustify;
    hoverCaption_ = QString::fromLatin1(DefaultUrl);
    hoverColor_ = ButtonFaceColor();
    hoverLayout_ = tlTop;
    url_ = QString::fromLatin1(DefaultUrl);

    savedAlignment_ = taLeftJustify;
    savedCaption_ = QString::fromLatin1(DefaultUrl);
    savedColor_ = ButtonFaceColor();
    savedLayout_ = tlTop;

    hoverFont_.Assign(Font());
    hoverFont_.Color = Qt::red;
    hoverFont_.ClearStyle();
    savedFont_.Assign(Font());
}

TAsUrlLabel::~TAsUrlLabel() = default;

TAlignment TAsUrlLabel::Alignment() const {
    const Qt::Alignment flags = alignment();
    if (flags & Qt::AlignRight) {
        return taRightJustify;
    }
    if (flags & Qt::AlignHCenter) {
        return taCenter;
    }
    return taLeftJustify;
}

void TAsUrlLabel::SetAlignment(TAlignment value) {
    setAlignment((alignment() & ~Qt::AlignHorizontal_Mask) | HorizontalFlag(value));
}

TTextLayout TAsUrlLabel::Layout() const {
    const Qt::Alignment flags = alignment();
    if (flags & Qt::AlignBottom) {
        return tlBottom;
    }
    if (flags & Qt::AlignVCenter) {
        return tlCenter;
    }
    return tlTop;
}

void TAsUrlLabel::SetLayout(TTextLayout value) {
    setAlignment((alignment() & ~Qt::AlignVertical_Mask) | VerticalFlag(value));
}

QColor TAsUrlLabel::Color() const {
    return palette().color(QPalette::Window);
}

void TAsUrlLabel::SetColor(const QColor& value) {
    QPalette colors = palette();
    colors.setColor(QPalette::Window, value);
    setPalette(colors);
}

TLabelFont TAsUrlLabel::Font() const {
    return TLabelFont{font(), palette().color(QPalette::WindowText)};
}

void TAsUrlLabel::SetFont(const TLabelFont& value) {
    setFont(value.Font);
    QPalette colors = palette();
    colors.setColor(QPalette::WindowText, value.Color);
    setPalette(colors);
}

void TAsUrlLabel::SetTransparent(bool value) {
    setAutoFillBackground(!value);
    update();
}

void TAsUrlLabel::Click() {
    if (onClick_) {
        onClick_();
    }
    // Whatever the handler makes of it, including an empty address, is its own affair.
    if (UrlOpener) {
        UrlOpener(TrimBlanksAndControls(url_.toUtf8().toStdString()));
    }
}

void TAsUrlLabel::enterEvent(QEnterEvent* event) {
    QLabel::enterEvent(event);
    if (onMouseEnter_) {
        onMouseEnter_();
    }
    savedAlignment_ = Alignment();
    savedCaption_ = Caption();
    savedColor_ = Color();
    savedFont_.Assign(Font());
    savedLayout_ = Layout();

    SetAlignment(hoverAlignment_);
    SetColor(hoverColor_);
    SetCaption(hoverCaption_);
    SetFont(hoverFont_);
    SetLayout(hoverLayout_);
    repaint();
}

void TAsUrlLabel::leaveEvent(QEvent* event) {
    QLabel::leaveEvent(event);
    if (onMouseLeave_) {
        onMouseLeave_();
    }
    SetAlignment(savedAlignment_);
    SetCaption(savedCaption_);
    SetColor(savedColor_);
    SetFont(savedFont_);
    SetLayout(savedLayout_);
    repaint();
}

void TAsUrlLabel::mousePressEvent(QMouseEvent* event) {
    QLabel::mousePressEvent(event);
    if (event->button() == Qt::LeftButton) {
        leftPressed_ = true;
        event->accept();
    }
}

void TAsUrlLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton || !leftPressed_) {
        return;
    }
    leftPressed_ = false;
    event->accept();
    if (rect().contains(event->position().toPoint())) {
        Click();
    }
}
