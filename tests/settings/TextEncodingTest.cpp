#include "TextEncoding.h"

#include <gtest/gtest.h>

namespace {

std::string Bytes(const char* text, size_t size) {
    return std::string(text, size);
}

// A UTF-16 file may hold lone surrogates: read and written back, it must come out as it went
// in, byte for byte.
TEST(TextEncoding, EveryUtf16FileEncodesBackToItsOwnBytes) {
    struct Case {
        const char* name;
        std::string littleEndian; // after the byte-order mark
        std::string utf8;
    };
    const Case cases[] = {
        {"a pair", Bytes("\x3D\xD8\x00\xDE", 4), "\xF0\x9F\x98\x80"},
        {"a lone high surrogate", Bytes("\x00\xD8 \x00", 4), "\xED\xA0\x80 "},
        {"a lone low surrogate", Bytes("\x00\xDC", 2), "\xED\xB0\x80"},
        {"low before high", Bytes("\x00\xDC\xFF\xDB", 4), "\xED\xB0\x80\xED\xAF\xBF"},
        {"a high surrogate last", Bytes("A\x00\xFF\xDB", 4), "A\xED\xAF\xBF"},
        {"NUL and the last character", Bytes("\x00\x00\xFF\xFF", 4), Bytes("\0\xEF\xBF\xBF", 4)},
    };
    for (const Case& c : cases) {
        for (const bool bigEndian : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (bigEndian ? ", big-endian" : ", little-endian"));
            std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
            for (size_t i = 0; i + 1 < c.littleEndian.size(); i += 2)
                bytes += bigEndian ? std::string{c.littleEndian[i + 1], c.littleEndian[i]}
                                   : c.littleEndian.substr(i, 2);
            const auto decoded = DecodeText(bytes);
            ASSERT_TRUE(decoded);
            EXPECT_EQ(decoded->encoding, bigEndian ? TextEncoding::Utf16Be : TextEncoding::Utf16Le);
            EXPECT_EQ(decoded->text, c.utf8);
            EXPECT_EQ(EncodeText(*decoded), bytes);
        }
    }
}

// What is not UTF-8 cannot be written as UTF-16; 8-bit files and UTF-8 ones keep any bytes.
TEST(TextEncoding, TextWithoutAUtf16FormIsRefused) {
    const std::string refused[] = {
        "\xFF",
        "\x80",
        "\xC0\x80",                 // overlong
        "\xE0\x80\x80",             // overlong
        "\xF0\x80\x80\x80",         // overlong
        "\xF4\x90\x80\x80",         // past U+10FFFF
        "\xF5\x80\x80\x80",         // past U+10FFFF
        "\xE2\x82",                 // cut short
        "\xC3(",                    // cut short
        "\xED\xA0\x80\xED\xB0\x80", // a pair written apart would read back as one character
    };
    for (const std::string& text : refused) {
        SCOPED_TRACE(testing::PrintToString(text));
        EXPECT_FALSE(EncodeText({TextEncoding::Utf16Le, text}));
        EXPECT_FALSE(EncodeText({TextEncoding::Utf16Be, text}));
        EXPECT_EQ(EncodeText({TextEncoding::Plain, text}), text);
        EXPECT_EQ(EncodeText({TextEncoding::Utf8Bom, text}), "\xEF\xBB\xBF" + text);
    }
}

} // namespace
