// The Win32 window's face and the label widths it is checked against.
#include "Win32WindowFont.h"

#include "ControlTable.h"
#include "FaceChoice.h"
#include "ScopeExit.h"
#include "WideText.h"

#include <algorithm>
#include <cwctype>

namespace {

bool SameFace(const std::wstring& a, const std::wstring& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](wchar_t x, wchar_t y) {
               return std::towlower(static_cast<wint_t>(x)) ==
                      std::towlower(static_cast<wint_t>(y));
           });
}

// Whether the system has `face` itself rather than a substitute.
bool Installed(HDC dc, HFONT font, const std::string& face) {
    const HGDIOBJ old = SelectObject(dc, font);
    wchar_t chosen[LF_FACESIZE] = {};
    GetTextFaceW(dc, LF_FACESIZE, chosen);
    SelectObject(dc, old);
    return SameFace(chosen, Widen(face));
}

// Whether `text` fits the room it may grow into; trailing blanks take no ink.
bool Fits(HDC dc, HFONT font, const FixedText& text) {
    std::string shown = text.text;
    while (!shown.empty() && shown.back() == ' ')
        shown.pop_back();
    const std::wstring wide = Widen(shown);
    const HGDIOBJ old = SelectObject(dc, font);
    SIZE size{};
    GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
    SelectObject(dc, old);
    return size.cx <= text.room;
}

// A font of `face` at pixel height `height`, in the sans family where the system lacks it.
FontHandle MakeFont(const std::string& face, int height, bool bold) {
    return FontHandle(CreateFontW(-height, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                                  DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                  DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, Widen(face).c_str()));
}

} // namespace

WindowFonts ChooseWindowFonts(int height, const std::vector<FixedText>& texts) {
    const HDC dc = GetDC(nullptr);
    const ScopeExit release([dc] { ReleaseDC(nullptr, dc); });
    const std::optional<std::string> face = ChooseFace(
        [&](const std::string& candidate) {
            return Installed(dc, MakeFont(candidate, height, false).get(), candidate);
        },
        [&](const std::string& candidate) {
            const FontHandle regular = MakeFont(candidate, height, false);
            const FontHandle bold = MakeFont(candidate, height, true);
            return std::all_of(texts.begin(), texts.end(), [&](const FixedText& text) {
                return Fits(dc, (text.bold ? bold : regular).get(), text);
            });
        });
    WindowFonts fonts;
    fonts.face = face.value_or(FontFace);
    fonts.regular = MakeFont(fonts.face, height, false);
    fonts.bold = MakeFont(fonts.face, height, true);
    return fonts;
}
