// TAsUrlLabel, the link label, for the Win32 window.
#pragma once

#include "LabelTypes.h"

#include <windows.h>

#include <functional>
#include <string>

// A label's font together with its text colour. Height in pixels, negative as in LOGFONT:
// the character height without internal leading.
struct TLabelFont {
    std::string Name = "MS Sans Serif";
    int Height = -11;
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    bool StrikeOut = false;
    COLORREF Color = RGB(0, 0, 0);

    void Assign(const TLabelFont& source) { *this = source; }
    // Plain again: no bold, italic, underline or strike-out.
    void ClearStyle() { Bold = Italic = Underline = StrikeOut = false; }

    bool operator==(const TLabelFont& other) const;
    bool operator!=(const TLabelFont& other) const { return !(*this == other); }
};

// A text label that acts as a web link: a second appearance while the mouse is over it, and a
// click hands its address to the system's default handler. A child window of its own, so that
// it learns when the mouse leaves; while transparent it shows its parent's picture through,
// which the parent paints on WM_PRINTCLIENT. Texts are UTF-8.
class TAsUrlLabel {
public:
    using TNotifyEvent = std::function<void()>;
    // Receives the trimmed address; replaceable so that tests open nothing.
    using TUrlOpener = std::function<void(const std::string& url)>;

    static const char* const DefaultUrl;
    static TUrlOpener UrlOpener;

    TAsUrlLabel(HWND parent, int id, const RECT& bounds);
    ~TAsUrlLabel();
    TAsUrlLabel(const TAsUrlLabel&) = delete;
    TAsUrlLabel& operator=(const TAsUrlLabel&) = delete;

    HWND Handle() const { return handle_; }

    TAlignment Alignment() const { return shown_.alignment; }
    void SetAlignment(TAlignment value);
    const std::string& Caption() const { return shown_.caption; }
    void SetCaption(const std::string& value);
    // Background colour; not drawn while the label is transparent.
    COLORREF Color() const { return shown_.color; }
    void SetColor(COLORREF value);
    const TLabelFont& Font() const { return shown_.font; }
    void SetFont(const TLabelFont& value);
    TTextLayout Layout() const { return shown_.layout; }
    void SetLayout(TTextLayout value);
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool value);

    // The appearance while the mouse is over the label.
    TAlignment HoverAlignment() const { return hover_.alignment; }
    void SetHoverAlignment(TAlignment value) { hover_.alignment = value; }
    const std::string& HoverCaption() const { return hover_.caption; }
    void SetHoverCaption(const std::string& value) { hover_.caption = value; }
    COLORREF HoverColor() const { return hover_.color; }
    void SetHoverColor(COLORREF value) { hover_.color = value; }
    const TLabelFont& HoverFont() const { return hover_.font; }
    void SetHoverFont(const TLabelFont& value) { hover_.font.Assign(value); }
    TTextLayout HoverLayout() const { return hover_.layout; }
    void SetHoverLayout(TTextLayout value) { hover_.layout = value; }

    const std::string& Url() const { return url_; }
    void SetUrl(const std::string& value) { url_ = value; }

    // Called before the appearance changes on entry and before it is restored on exit.
    void SetOnMouseEnter(TNotifyEvent handler) { onMouseEnter_ = std::move(handler); }
    void SetOnMouseLeave(TNotifyEvent handler) { onMouseLeave_ = std::move(handler); }
    // Runs on a click, before the address is opened.
    void SetOnClick(TNotifyEvent handler) { onClick_ = std::move(handler); }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void MouseEnter();
    void MouseLeave();
    void Click();
    void Paint(HDC dc);
    void Repaint();
    HFONT CurrentFont();

    // A look the label can take on as a whole.
    struct Appearance {
        TAlignment alignment = taLeftJustify;
        std::string caption;
        COLORREF color = 0;
        TLabelFont font;
        TTextLayout layout = tlTop;
    };

    HWND handle_ = nullptr;
    Appearance shown_;
    bool transparent_ = false;
    Appearance hover_;
    // The appearance at mouse entry, put back on exit.
    Appearance saved_;
    std::string url_;
    TNotifyEvent onMouseEnter_;
    TNotifyEvent onMouseLeave_;
    TNotifyEvent onClick_;

    bool tracking_ = false;
    bool leftPressed_ = false;
    HFONT gdiFont_ = nullptr;
    TLabelFont gdiFontMadeFrom_;
};
