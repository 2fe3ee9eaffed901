#include "ProfileFile.h"

#include "ProfileStorage.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

namespace {
namespace fs = std::filesystem;

struct Line {
    enum class Kind { Other, Section, Key } kind = Kind::Other;
    std::string name;
    std::string value;
};

std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool SameName(std::string_view a, std::string_view b) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

// The line's own ending: "\r\n", "\n", or "" for an unterminated last line.
std::string_view Ending(std::string_view raw) {
    if (raw.size() >= 2 && raw.substr(raw.size() - 2) == "\r\n")
        return raw.substr(raw.size() - 2);
    if (!raw.empty() && raw.back() == '\n')
        return raw.substr(raw.size() - 1);
    return {};
}

Line Parse(std::string_view raw) {
    raw.remove_suffix(Ending(raw).size());
    if (!raw.empty() && raw.back() == '\r')
        raw.remove_suffix(1);
    const std::string_view text = Trim(raw);
    if (text.empty() || text.front() == ';')
        return {};
    if (text.front() == '[') {
        // Without a closing ']' the name runs to the line end.
        const std::string_view name = text.substr(1, text.find(']', 1) - 1);
        return {Line::Kind::Section, std::string(Trim(name)), {}};
    }
    const auto equals = text.find('=');
    if (equals == std::string_view::npos)
        return {};
    std::string_view value = Trim(text.substr(equals + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return {Line::Kind::Key, std::string(Trim(text.substr(0, equals))), std::string(value)};
}

// Lines keep their endings so that untouched ones are written back byte for byte.
std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t start = 0; start < text.size();) {
        const size_t end = std::min(text.find('\n', start), text.size() - 1) + 1;
        lines.push_back(text.substr(start, end - start));
        start = end;
    }
    return lines;
}

// Index range of the lines following the header of the first matching section.
std::optional<std::pair<size_t, size_t>> FindSection(const std::vector<std::string>& lines,
                                                     const std::string& section) {
    std::optional<std::pair<size_t, size_t>> range;
    for (size_t i = 0; i < lines.size(); ++i) {
        const Line line = Parse(lines[i]);
        if (line.kind != Line::Kind::Section)
            continue;
        if (range)
            return std::make_pair(range->first, i);
        if (SameName(line.name, section))
            range = std::make_pair(i + 1, lines.size());
    }
    return range;
}

// Settings files are small; anything larger is not one.
constexpr size_t MaxFileSize = 1 << 20;

// How the file stores its text. Without a byte-order mark it is 8-bit text, kept as it is;
// otherwise the text is held as UTF-8 and written back in the file's own encoding.
enum class Encoding { Plain, Utf8Bom, Utf16Le, Utf16Be };

struct Content {
    Encoding encoding = Encoding::Plain;
    std::string text;
};

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

// Empty for UTF-16 with an odd number of bytes.
std::optional<Content> Decode(const std::string& bytes) {
    for (const bool bigEndian : {false, true}) {
        if (!StartsWith(bytes, bigEndian ? Utf16BeBom : Utf16LeBom))
            continue;
        if (bytes.size() % 2 != 0)
            return std::nullopt;
        return Content{bigEndian ? Encoding::Utf16Be : Encoding::Utf16Le,
                       FromUtf16(std::string_view(bytes).substr(2), bigEndian)};
    }
    if (StartsWith(bytes, Utf8Bom))
        return Content{Encoding::Utf8Bom, bytes.substr(Utf8Bom.size())};
    return Content{Encoding::Plain, bytes};
}

std::optional<std::string> Encode(const Content& content) {
    switch (content.encoding) {
    case Encoding::Plain:
        return content.text;
    case Encoding::Utf8Bom:
        return Utf8Bom + content.text;
    case Encoding::Utf16Le:
    case Encoding::Utf16Be: {
        const bool bigEndian = content.encoding == Encoding::Utf16Be;
        auto bytes = ToUtf16(content.text, bigEndian);
        if (bytes)
            bytes->insert(0, bigEndian ? Utf16BeBom : Utf16LeBom);
        return bytes;
    }
    }
    return std::nullopt;
}

// A missing file is empty; empty when the file cannot be read: not a regular file (a
// directory, a FIFO, a device), larger than MaxFileSize, or malformed.
std::optional<Content> Load(const std::string& path) {
    std::string bytes;
    switch (profile_storage::ReadAll(path, MaxFileSize, bytes)) {
    case profile_storage::ReadResult::Missing:
        return Content{};
    case profile_storage::ReadResult::Unreadable:
        return std::nullopt;
    case profile_storage::ReadResult::Read:
        break;
    }
    return Decode(bytes);
}

// New lines follow the file's first line end; a file without one gets the Windows default.
std::string LineEnd(const std::string& text) {
    const size_t end = text.find('\n');
    return end == std::string::npos || (end > 0 && text[end - 1] == '\r') ? "\r\n" : "\n";
}

void Put(std::vector<std::string>& lines, const std::string& section, const std::string& key,
         const std::string& value, const std::string& eol) {
    // A line without its end reads minus one final CR, and so does one completed with CR LF; a
    // lone LF would make that CR part of the line end, and the line would lose one more.
    const auto terminate = [&](std::string& line) {
        if (Ending(line).empty())
            line += !line.empty() && line.back() == '\r' ? "\r\n" : eol;
    };
    const auto range = FindSection(lines, section);
    if (!range) {
        if (!lines.empty())
            terminate(lines.back());
        lines.push_back("[" + section + "]" + eol);
        lines.push_back(key + "=" + value + eol);
        return;
    }
    // Blank lines that separate the section from the next one stay behind the new key.
    size_t insertAt = range->first;
    for (size_t i = range->first; i < range->second; ++i) {
        const Line line = Parse(lines[i]);
        if (line.kind == Line::Kind::Key && SameName(line.name, key)) {
            lines[i] = line.name + "=" + value + std::string(Ending(lines[i]));
            return;
        }
        if (lines[i].find_first_not_of(" \t\r\n") != std::string::npos)
            insertAt = i + 1;
    }
    terminate(lines[insertAt - 1]);
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), key + "=" + value + eol);
}
} // namespace

ProfileFile::ProfileFile(std::string path) : path_(std::move(path)) {
    std::error_code error;
    const fs::path absolute = fs::absolute(fs::u8path(path_), error);
    if (!error)
        path_ = absolute.u8string();
}

ProfileFile ProfileFile::Unavailable(const std::string& shownName) {
    ProfileFile file(shownName);
    file.path_ = shownName;
    file.available_ = false;
    return file;
}

const std::string& ProfileFile::Path() const {
    return path_;
}

std::string ProfileFile::ReadString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue) const {
    for (const auto& [name, value] : ReadSectionValues(section))
        if (SameName(name, key))
            return value;
    return defaultValue;
}

std::vector<std::pair<std::string, std::string>>
ProfileFile::ReadSectionValues(const std::string& section) const {
    std::vector<std::pair<std::string, std::string>> values;
    if (!available_)
        return values;
    const auto lines = SplitLines(Load(path_).value_or(Content{}).text);
    const auto range = FindSection(lines, section);
    if (!range)
        return values;
    for (size_t i = range->first; i < range->second; ++i) {
        Line line = Parse(lines[i]);
        if (line.kind == Line::Kind::Key)
            values.emplace_back(std::move(line.name), std::move(line.value));
    }
    return values;
}

void ProfileFile::WriteString(const std::string& section, const std::string& key,
                              const std::string& value) {
    const ProfileWriteError failure("In " + path_ + " kann nicht geschrieben werden");
    if (!available_)
        throw failure;
    auto content = Load(path_);
    // Rewriting a file we could not read would wipe what it holds.
    if (!content)
        throw failure;
    auto lines = SplitLines(content->text);
    Put(lines, section, key, value, LineEnd(content->text));
    content->text.clear();
    for (const auto& line : lines)
        content->text += line;
    const auto bytes = Encode(*content);
    // A file grown past the limit would read as empty from then on.
    if (!bytes || bytes->size() > MaxFileSize)
        throw failure;

    using profile_storage::ReplaceResult;
    const ReplaceResult replaced = profile_storage::Replace(path_, *bytes);
    // A folder closed to the user but a file open to them was written in place before: still is.
    if (replaced == ReplaceResult::Replaced ||
        (replaced == ReplaceResult::OnlyInPlace && profile_storage::Overwrite(path_, *bytes)))
        return;
    throw failure;
}
