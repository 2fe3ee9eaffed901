// TAsUrlLabel, the link label, for the Qt window.
#pragma once

#include "LabelTypes.h"

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QString>

#include <functional>
#include <string>

class QEnterEvent;
class QEvent;
class QMouseEvent;

// A label's font together with its text colour: a QFont carries no colour of its own.
struct TLabelFont {
    QFont Font;
    QColor Color;

    void Assign(const TLabelFont& source);
    // Plain again: no bold, italic, underline or strike-out.
    void ClearStyle();

    bool operator==(const TLabelFont& other) const {
        return Font == other.Font && Color == other.Color;
    }
    bool operator!=(const TLabelFont& other) const { return !(*this == other); }
};

// A text label that acts as a web link: a second appearance while the mouse is over it, and
// a click hands its address to the system's default handler.
class TAsUrlLabel : public QLabel {
    Q_OBJECT

public:
    using TNotifyEvent = std::function<void()>;
    // Receives the address as UTF-8; replaceable so that tests open nothing.
    using TUrlOpener = std::function<void(const std::string& url)>;

    static const char* const DefaultUrl;
    static TUrlOpener UrlOpener;

    explicit TAsUrlLabel(QWidget* parent = nullptr);
    ~TAsUrlLabel() override;

    // The label's own appearance.
    TAlignment Alignment() const;
    void SetAlignment(TAlignment value);
    QString Caption() const { return text(); }
    void SetCaption(const QString& value) { setText(value); }
    // Background colour; not drawn while the label is transparent.
    QColor Color() const;
    void SetColor(const QColor& value);
    TLabelFont Font() const;
    void SetFont(const TLabelFont& value);
    TTextLayout Layout() const;
    void SetLayout(TTextLayout value);
    bool Transparent() const { return !autoFillBackground(); }
    void SetTransparent(bool value);

    // The appearance while the mouse is over the label.
    TAlignment HoverAlignment() const { return hoverAlignment_; }
    void SetHoverAlignment(TAlignment value) { hoverAlignment_ = value; }
    QString HoverCaption() const { return hoverCaption_; }
    void SetHoverCaption(const QString& value) { hoverCaption_ = value; }
    QColor HoverColor() const { return hoverColor_; }
    void SetHoverColor(const QColor& value) { hoverColor_ = value; }
    const TLabelFont& HoverFont() const { return hoverFont_; }
    TLabelFont& HoverFont() { return hoverFont_; }
    void SetHoverFont(const TLabelFont& value) { hoverFont_.Assign(value); }
    TTextLayout HoverLayout() const { return hoverLayout_; }
    void SetHoverLayout(TTextLayout value) { hoverLayout_ = value; }

    QString Url() const { return url_; }
    void SetUrl(const QString& value) { url_ = value; }

    // Called before the appearance changes on entry and before it is restored on exit.
    const TNotifyEvent& OnMouseEnter() const { return onMouseEnter_; }
    void SetOnMouseEnter(TNotifyEvent handler) { onMouseEnter_ = std::move(handler); }
    const TNotifyEvent& OnMouseLeave() const { return onMouseLeave_; }
    void SetOnMouseLeave(TNotifyEvent handler) { onMouseLeave_ = std::move(handler); }
    // Runs on a click, before the address is opened.
    const TNotifyEvent& OnClick() const { return onClick_; }
    void SetOnClick(TNotifyEvent handler) { onClick_ = std::move(handler); }

protected:
    // A press and release of the left button, both inside the label.
    virtual void Click();

    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    TAlignment hoverAlignment_;
    QString hoverCaption_;
    QColor hoverColor_;
    TLabelFont hoverFont_;
    TTextLayout hoverLayout_;
    QString url_;
    TNotifyEvent onMouseEnter_;
    TNotifyEvent onMouseLeave_;
    TNotifyEvent onClick_;

    // The appearance at mouse entry, put back on exit.
    TAlignment savedAlignment_;
    QString savedCaption_;
    QColor savedColor_;
    TLabelFont savedFont_;
    TTextLayout savedLayout_;

    bool leftPressed_ = false;
};
