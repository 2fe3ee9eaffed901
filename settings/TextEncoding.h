// How a settings file stores its text, and back again.
#pragma once

#include <optional>
#include <string>

// How a settings file stores its text. Without a byte-order mark it is 8-bit text, kept as it
// is; otherwise the text is held as UTF-8 and written back in the file's own encoding.
enum class TextEncoding { Plain, Utf8Bom, Utf16Le, Utf16Be };

struct FileText {
    TextEncoding encoding = TextEncoding::Plain;
    std::string text; // UTF-8 unless Plain
};

// The file's bytes as text, by their byte-order mark; empty for UTF-16 with an odd number of
// bytes. Every file that decodes encodes back to the very same bytes.
std::optional<FileText> DecodeText(const std::string& bytes);

// The bytes of `file` in its encoding, with the byte-order mark; empty for text that has no
// UTF-16 form (anything but UTF-8, with lone surrogates as DecodeText gives them).
std::optional<std::string> EncodeText(const FileText& file);
