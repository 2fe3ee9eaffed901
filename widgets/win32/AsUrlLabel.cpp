// TAsUrlLabel in Win32: a label window that acts as a link.
#include "AsUrlLabel.h"

#include "BufferedPaint.h"
#include "UrlOpener.h"
#include "UrlText.h"
#include "WideText.h"

namespace {

const wchar_t* const ClassName = L"TAsUrlLabel";

void RegisterClassOnce(HINSTANCE instance) {
    static bool registered = false;
    if (registered)
        return;
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = DefWindowProcW; // replaced per window in the constructor
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32649)); // IDC_HAND
    windowClass.lpszClassName = ClassName;
    registered = RegisterClassExW(&windowClass) != 0;
}

UINT HorizontalFlag(TAlignment value) {
    switch (value) {
    case taRightJustify:
        return DT_RIGHT;
    case taCenter:
        return DT_CENTER;
    case taLeftJustify:
        break;
    }
    return DT_LEFT;
}

UINT VerticalFlag(TTextLayout value) {
    switch (value) {
    case tlCenter:
        return DT_VCENTER;
    case tlBottom:
        return DT_BOTTOM;
    case tlTop:
        break;
    }
    return DT_TOP;
}

} // namespace

bool TLabelFont::operator==(const TLabelFont& other) const {
    return Name == other.Name && Height == other.Height && Bold == other.Bold &&
           Italic == other.Italic && Underline == other.Underline && StrikeOut == other.StrikeOut &&
           Color == other.Color;
}

const char* const TAsUrlLabel::DefaultUrl = "https://www.example.com/";

TAsUrlLabel::TUrlOpener TAsUrlLabel::UrlOpener = OpenWithDefaultHandler;

TAsUrlLabel::TAsUrlLabel(HWND parent, int id, const RECT& bounds) {
    shown_.color = hover_.color = saved_.color = GetSysColor(COLOR_BTNFACE);
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE));
    RegisterClassOnce(instance);
    shown_.caption = DefaultUrl;
    shown_.font.Color = RGB(0, 0, 255);
    shown_.font.Underline = true;
    // No automatic sizing: the label keeps the bounds it is given.
    hover_.caption = DefaultUrl;
    url_ = DefaultUrl;
    saved_.caption = DefaultUrl;
    hover_.font.Assign(shown_.font);
    hover_.font.Color = RGB(255, 0, 0);
    hover_.font.ClearStyle();
    saved_.font.Assign(shown_.font);

    handle_ = CreateWindowExW(0, ClassName, L"", WS_CHILD | WS_VISIBLE, bounds.left, bounds.top,
                              bounds.right - bounds.left, bounds.bottom - bounds.top, parent,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    if (handle_) {
        SetWindowLongPtrW(handle_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        SetWindowLongPtrW(handle_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WindowProc));
    }
}

TAsUrlLabel::~TAsUrlLabel() {
    if (handle_) {
        SetWindowLongPtrW(handle_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(DefWindowProcW));
        DestroyWindow(handle_);
    }
    if (gdiFont_)
        DeleteObject(gdiFont_);
}

void TAsUrlLabel::SetAlignment(TAlignment value) {
    shown_.alignment = value;
    Repaint();
}

void TAsUrlLabel::SetCaption(const std::string& value) {
    shown_.caption = value;
    if (handle_)
        SetWindowTextW(handle_, Widen(value).c_str()); // what screen readers announce
    Repaint();
}

void TAsUrlLabel::SetColor(COLORREF value) {
    shown_.color = value;
    Repaint();
}

void TAsUrlLabel::SetFont(const TLabelFont& value) {
    shown_.font.Assign(value);
    Repaint();
}

void TAsUrlLabel::SetLayout(TTextLayout value) {
    shown_.layout = value;
    Repaint();
}

void TAsUrlLabel::SetTransparent(bool value) {
    transparent_ = value;
    Repaint();
}

void TAsUrlLabel::Repaint() {
    if (handle_)
        InvalidateRect(handle_, nullptr, FALSE);
}

void TAsUrlLabel::MouseEnter() {
    if (onMouseEnter_)
        onMouseEnter_();
    saved_ = shown_;
    shown_ = hover_;
    RedrawWindow(handle_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

void TAsUrlLabel::MouseLeave() {
    if (onMouseLeave_)
        onMouseLeave_();
    shown_ = saved_;
    RedrawWindow(handle_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

void TAsUrlLabel::Click() {
    if (onClick_)
        onClick_();
    // Whatever the handler makes of it, including an empty address, is its own affair.
    if (UrlOpener)
        UrlOpener(TrimBlanksAndControls(url_));
}

HFONT TAsUrlLabel::CurrentFont() {
    if (gdiFont_ && gdiFontMadeFrom_ == shown_.font)
        return gdiFont_;
    if (gdiFont_)
        DeleteObject(gdiFont_);
    gdiFont_ =
        CreateFontW(shown_.font.Height, 0, 0, 0, shown_.font.Bold ? FW_BOLD : FW_NORMAL,
                    shown_.font.Italic, shown_.font.Underline, shown_.font.StrikeOut,
                    DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                    DEFAULT_PITCH | FF_SWISS, Widen(shown_.font.Name).c_str());
    gdiFontMadeFrom_ = shown_.font;
    return gdiFont_;
}

void TAsUrlLabel::Paint(HDC dc) {
    RECT client;
    GetClientRect(handle_, &client);
    if (transparent_) {
        // The parent draws what lies behind the label, in the label's coordinates.
        const HWND parent = GetParent(handle_);
        POINT origin{0, 0};
        MapWindowPoints(handle_, parent, &origin, 1);
        POINT old;
        SetViewportOrgEx(dc, -origin.x, -origin.y, &old);
        SendMessageW(parent, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
        SetViewportOrgEx(dc, old.x, old.y, nullptr);
    } else {
        const HBRUSH brush = CreateSolidBrush(shown_.color);
        FillRect(dc, &client, brush);
        DeleteObject(brush);
    }
    const HGDIOBJ oldFont = SelectObject(dc, CurrentFont());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, shown_.font.Color);
    const std::wstring text = Widen(shown_.caption);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &client,
              HorizontalFlag(shown_.alignment) | VerticalFlag(shown_.layout) | DT_SINGLELINE |
                  DT_NOPREFIX);
    SelectObject(dc, oldFont);
}

LRESULT CALLBACK TAsUrlLabel::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* label = reinterpret_cast<TAsUrlLabel*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    return label ? label->Handle(message, wParam, lParam)
                 : DefWindowProcW(window, message, wParam, lParam);
}

LRESULT TAsUrlLabel::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ERASEBKGND:
        return 1; // painted whole in WM_PAINT
    case WM_PAINT:
        PaintBuffered(handle_, [this](HDC dc) { Paint(dc); });
        return 0;
    case WM_MOUSEMOVE:
        if (!tracking_) {
            TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, handle_, 0};
            tracking_ = TrackMouseEvent(&track) != 0;
            MouseEnter();
        }
        return 0;
    case WM_MOUSELEAVE:
        tracking_ = false;
        MouseLeave();
        return 0;
    case WM_LBUTTONDOWN:
        leftPressed_ = true;
        SetCapture(handle_);
        return 0;
    case WM_LBUTTONUP: {
        const bool pressed = leftPressed_;
        leftPressed_ = false;
        if (GetCapture() == handle_)
            ReleaseCapture();
        RECT client;
        GetClientRect(handle_, &client);
        const POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        if (pressed && PtInRect(&client, at))
            Click();
        return 0;
    }
    case WM_CAPTURECHANGED:
        leftPressed_ = false;
        return 0;
    case WM_GETDLGCODE:
        return DLGC_STATIC;
    default:
        return DefWindowProcW(handle_, message, wParam, lParam);
    }
}
