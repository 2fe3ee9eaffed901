#pragma once

#include <windows.h>

#include <functional>
#include <string>

enum TAlignment { taLeftJustify, taRightJustify, taCenter };
enum TTextLayout { tlTop, tlCenter, tlBottom };

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

    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment value);
    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& value);
    // Background colour; not drawn while the label is transparent.
    COLORREF Color() const { return color_; }
    void SetColor(COLORREF value);
    const TLabelFont& Font() const { return font_; }
    void SetFont(const TLabelFont& value);
    TTextLayout Layout() const { return layout_; }
    void SetLayout(TTextLayout value);
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool value);

    // The appearance while the mouse is over the label.
    TAlignment HoverAlignment() const { return hoverAlignment_; }
    void SetHoverAlignment(TAlignment value) { hoverAlignment_ = value; }
    const std::string& HoverCaption() const { return hoverCaption_; }
    void SetHoverCaption(const std::string& value) { hoverCaption_ = value; }
    COLORREF HoverColor() const { return hoverColor_; }
    void SetHoverColor(COLORREF value) { hoverColor_ = value; }
    const TLabelFont& HoverFont() const { return hoverFont_; }
    void SetHoverFont(const TLabelFont& value) { hoverFont_.Assign(value); }
    TTextLayout HoverLayout() const { return hoverLayout_; }
    void SetHoverLayout(TTextLayout value) { hoverLayout_ = value; }

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

    HWND handle_ = nullptr;
    TAlignment alignment_ = taLeftJustify;
    std::string caption_;
    COLORREF color_;
    TLabelFont font_;
    TTextLayout layout_ = tlTop;
    bool transparent_ = false;

    TAlignment hoverAlignment_ = taLeftJustify;
    std::string hoverCaption_;
    COLORREF hoverColor_;
    TLabelFont hoverFont_;
    TTextLayout hoverLayout_ = tlTop;
    std::string url_;
    TNotifyEvent onMouseEnter_;
    TNotifyEvent onMouseLeave_;
    TNotifyEvent onClick_;

    // The appearance at mouse entry, put back on exit.
    TAlignment savedAlignment_ = taLeftJustify;
    std::string savedCaption_;
    COLORREF savedColor_;
    TLabelFont savedFont_;
    TTextLayout savedLayout_ = tlTop;

    bool tracking_ = false;
    bool leftPressed_ = false;
    HFONT gdiFont_ = nullptr;
    TLabelFont gdiFontMadeFrom_;
};
