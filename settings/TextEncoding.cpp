// The settings file's byte-order marks, UTF-16 and UTF-8 converted.
#include "TextEncoding.h"

#include <cstdint>
#include <string_view>

namespace {

const std::string Utf8Bom = "\xEF\xBB\xBF";
const std::string Utf16LeBom = "\xFF\xFE";
const std::string Utf16BeBom = "\xFE\xFF";

bool IsHighSurrogate(uint32_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

bool IsLowSurrogate(uint32_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

void AppendUtf8(std::string& text, uint32_t c) {
    if (c < 0x80) {
        text += char(c);
    } else if (c < 0x800) {
        text += char(0xC0 | c >> 6);
        text += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        text += char(0xE0 | c >> 12);
        text += char(0x80 | (c >> 6 & 0x3F));
        text += char(0x80 | (c & 0x3F));
    } else {
        text += char(0xF0 | c >> 18);
        text += char(0x80 | (c >> 12 & 0x3F));
        text += char(0x80 | (c >> 6 & 0x3F));
        text += char(0x80 | (c & 0x3F));
    }
}

// A lone surrogate becomes the three bytes UTF-8 would give it if it allowed one, so that
// every file decodes to a text that encodes back to the very same bytes.
std::string FromUtf16(std::string_view bytes, bool bigEndian) {
    const size_t count = bytes.size() / 2;
    const auto unit = [&](size_t i) {
        const uint32_t first = uint8_t(bytes[2 * i]), second = uint8_t(bytes[2 * i + 1]);
        return bigEndian ? first << 8 | second : second << 8 | first;
    };
    std::string text;
    text.reserve(bytes.size());
    for (size_t i = 0; i < count; ++i) {
        uint32_t c = unit(i);
        if (IsHighSurrogate(c) && i + 1 < count && IsLowSurrogate(unit(i + 1)))
            c = 0x10000 + ((c - 0xD800) << 10) + (unit(++i) - 0xDC00);
        AppendUtf8(text, c);
    }
    return text;
}

// Empty for text that has no UTF-16 form: anything but UTF-8 with lone surrogates as
// FromUtf16 writes them.
std::optional<std::string> ToUtf16(std::string_view text, bool bigEndian) {
    std::string bytes;
    bytes.reserve(text.size() * 2);
    const auto put = [&](uint32_t unit) {
        const char high = char(unit >> 8), low = char(unit & 0xFF);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    };
    bool afterHighSurrogate = false;
    for (size_t i = 0; i < text.size();) {
        const uint8_t lead = uint8_t(text[i]);
        size_t length = 1;
        uint32_t c = lead;
        uint8_t secondMin = 0x80, secondMax = 0xBF; // ruling out overlong and too large forms
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2, c = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3, c = lead & 0x0F, secondMin = lead == 0xE0 ? 0xA0 : 0x80;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4, c = lead & 0x07;
            secondMin = lead == 0xF0 ? 0x90 : 0x80;
            secondMax = lead == 0xF4 ? 0x8F : 0xBF;
        } else if (lead >= 0x80) {
            return std::nullopt;
        }
        if (text.size() - i < length)
            return std::nullopt;
        for (size_t k = 1; k < length; ++k) {
            const uint8_t next = uint8_t(text[i + k]);
            if (next < (k == 1 ? secondMin : 0x80) || next > (k == 1 ? secondMax : 0xBF))
                return std::nullopt;
            c = c << 6 | (next & 0x3F);
        }
        i += length;
        // Side by side they would be read back as one character.
        if (afterHighSurrogate && IsLowSurrogate(c))
            return std::nullopt;
        afterHighSurrogate = IsHighSurrogate(c);
        if (c >= 0x10000) {
            put(0xD800 + ((c - 0x10000) >> 10));
            put(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            put(c);
        }
    }
    return bytes;
}

bool StartsWith(const std::string& bytes, const std::string& prefix) {
    return bytes.compare(0, prefix.size(), prefix) == 0;
}

} // namespace

std::optional<FileText> DecodeText(const std::string& bytes) {
    for (const bool bigEndian : {false, true}) {
        if (!StartsWith(bytes, bigEndian ? Utf16BeBom : Utf16LeBom))
            continue;
        if (bytes.size() % 2 != 0)
            return std::nullopt;
        return FileText{bigEndian ? TextEncoding::Utf16Be : TextEncoding::Utf16Le,
                        FromUtf16(std::string_view(bytes).substr(2), bigEndian)};
    }
    if (StartsWith(bytes, Utf8Bom))
        return FileText{TextEncoding::Utf8Bom, bytes.substr(Utf8Bom.size())};
    return FileText{TextEncoding::Plain, bytes};
}

std::optional<std::string> EncodeText(const FileText& file) {
    switch (file.encoding) {
    case TextEncoding::Plain:
        return file.text;
    case TextEncoding::Utf8Bom:
        return Utf8Bom + file.text;
    case TextEncoding::Utf16Le:
    case TextEncoding::Utf16Be: {
        const bool bigEndian = file.encoding == TextEncoding::Utf16Be;
        auto bytes = ToUtf16(file.text, bigEndian);
        if (bytes)
            bytes->insert(0, bigEndian ? Utf16BeBom : Utf16LeBom);
        return bytes;
    }
    }
    return std::nullopt;
}
