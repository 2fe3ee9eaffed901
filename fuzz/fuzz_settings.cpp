// The settings file: one key written into arbitrary file text, then read back.
// Input: <file text> NUL <section> NUL <key> NUL <value>; with fewer than three NULs the whole
// input is the file text and the program's own setting is written. File text that starts with a
// byte-order mark is UTF-16 or UTF-8; the names and the value are UTF-8 (or any bytes).
#include "FolderFile.h"
#include "ProfileFile.h"
#include "Require.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

using Values = std::vector<std::pair<std::string, std::string>>;

bool Blank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && Blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && Blank(text.back()))
        text.remove_suffix(1);
    return text;
}

// Names are found without regard to ASCII case, as Windows does. The oracle keeps its own
// comparison so that a fault in the settings code cannot hide itself.
bool SameName(std::string_view a, std::string_view b) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

// What one line of an INI file can carry and give back unchanged. Nothing may break the line.
// Reading trims blanks around names and values. A section name ends at ']'. A key must not
// look like a section line ('[') or a comment (';') and ends at '='. A value wrapped in matching
// quotes is read without them. Empty names are never written by the program.
bool Representable(const std::string& section, const std::string& key, const std::string& value) {
    const auto lineSafe = [](const std::string& s) {
        return s.find_first_of("\r\n") == std::string::npos;
    };
    const auto untrimmed = [](const std::string& s) {
        return s.empty() || (!Blank(s.front()) && !Blank(s.back()));
    };
    if (!lineSafe(section) || !lineSafe(key) || !lineSafe(value))
        return false;
    if (!untrimmed(section) || !untrimmed(key) || !untrimmed(value))
        return false;
    if (section.empty() || section.find(']') != std::string::npos)
        return false;
    if (key.empty() || key.front() == '[' || key.front() == ';' ||
        key.find('=') != std::string::npos)
        return false;
    const bool quoted = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                        value.back() == value.front();
    return !quoted;
}

// Lines with their own endings; only the last may lack one.
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        end = end == std::string::npos ? text.size() : end + 1;
        lines.push_back(text.substr(at, end - at));
        at = end;
    }
    return lines;
}

std::string Ending(const std::string& line) {
    if (line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0)
        return "\r\n";
    return !line.empty() && line.back() == '\n' ? "\n" : "";
}

std::string_view Body(const std::string& line) {
    std::string_view body(line);
    body.remove_suffix(Ending(line).size());
    if (!body.empty() && body.back() == '\r')
        body.remove_suffix(1);
    return body;
}

std::optional<std::string> SectionName(const std::string& line) {
    const std::string_view text = Trim(Body(line));
    if (text.empty() || text.front() != '[')
        return std::nullopt;
    return std::string(Trim(text.substr(1, text.find(']') - 1)));
}

bool HasSection(const std::vector<std::string>& lines, const std::string& section) {
    for (const auto& line : lines)
        if (const auto name = SectionName(line); name && SameName(*name, section))
            return true;
    return false;
}

bool IsKeyLine(std::string_view body, const std::string& key, const std::string& value) {
    return body.size() == key.size() + 1 + value.size() &&
           SameName(body.substr(0, key.size()), key) && body[key.size()] == '=' &&
           body.substr(key.size() + 1) == value;
}

bool WasKeyLine(std::string_view body, const std::string& key) {
    const std::string_view text = Trim(body);
    const size_t equals = text.find('=');
    return !text.empty() && text.front() != ';' && text.front() != '[' &&
           equals != std::string_view::npos && SameName(Trim(text.substr(0, equals)), key);
}

// Everything but the one key line (and the header of a new section) stays as it was, byte for
// byte; a last line without a line end may get one (what it reads as is checked by the caller).
void CheckOnlyKeyChanged(const std::string& before, const std::string& after,
                         const std::string& section, const std::string& key,
                         const std::string& value) {
    const size_t firstEnd = before.find('\n');
    const std::string eol =
        firstEnd == std::string::npos || (firstEnd > 0 && before[firstEnd - 1] == '\r') ? "\r\n"
                                                                                        : "\n";
    const auto oldLines = Lines(before);
    const auto newLines = Lines(after);
    const auto same = [&](size_t i, const std::string& line) {
        return oldLines[i] == line ||
               (i + 1 == oldLines.size() && Ending(oldLines[i]).empty() &&
                (line == oldLines[i] + "\n" || line == oldLines[i] + "\r\n"));
    };
    size_t head = 0;
    while (head < oldLines.size() && head < newLines.size() && same(head, newLines[head]))
        ++head;
    size_t tail = 0;
    while (tail < oldLines.size() - head && tail < newLines.size() - head &&
           same(oldLines.size() - 1 - tail, newLines[newLines.size() - 1 - tail]))
        ++tail;
    const size_t removed = oldLines.size() - head - tail;
    const size_t added = newLines.size() - head - tail;
    if (added == 0) {
        REQUIRE(removed == 0);
        return;
    }
    const std::string& keyLine = newLines[head + added - 1];
    REQUIRE(IsKeyLine(Body(keyLine), key, value));
    if (removed == 1) {
        REQUIRE(added == 1);
        REQUIRE(WasKeyLine(Body(oldLines[head]), key));
        REQUIRE(Ending(keyLine) == Ending(oldLines[head]));
        return;
    }
    REQUIRE(removed == 0 && added <= 2);
    REQUIRE(Ending(keyLine) == eol);
    // A section is added only when the file has none of that name in any case.
    REQUIRE((added == 2) == !HasSection(oldLines, section));
    if (added == 2)
        REQUIRE(newLines[head] == "[" + section + "]" + eol);
}

// The oracle's own encoding, kept apart from the settings code's: the file's text as that code
// must see it. UTF-16 after its byte-order mark becomes UTF-8, a lone surrogate taking the
// three bytes UTF-8 would give it; text after a UTF-8 mark is taken as it is, and so is a file
// without a mark. UTF-16 with an odd byte count has no text.
struct View {
    std::string mark;
    bool utf16 = false;
    std::string text;
};

std::string Utf8(uint32_t c) {
    if (c < 0x80)
        return std::string(1, char(c));
    std::string tail;
    int continuations = 0;
    do {
        tail.insert(tail.begin(), char(0x80 | (c & 0x3F)));
        c >>= 6;
        ++continuations;
    } while (c > (0x3Fu >> continuations));
    return char((0xFF << (7 - continuations) & 0xFF) | c) + tail;
}

std::optional<View> Viewed(const std::string& bytes) {
    const bool little = bytes.compare(0, 2, "\xFF\xFE") == 0;
    const bool big = bytes.compare(0, 2, "\xFE\xFF") == 0;
    if (little || big) {
        if (bytes.size() % 2 != 0)
            return std::nullopt;
        std::vector<uint32_t> units;
        for (size_t i = 2; i < bytes.size(); i += 2) {
            const uint32_t a = uint8_t(bytes[i]), b = uint8_t(bytes[i + 1]);
            units.push_back(big ? a * 256 + b : b * 256 + a);
        }
        View view{bytes.substr(0, 2), true, {}};
        for (size_t i = 0; i < units.size(); ++i) {
            uint32_t c = units[i];
            if (c >> 10 == 0x36 && i + 1 < units.size() && units[i + 1] >> 10 == 0x37)
                c = 0x10000 + ((c & 0x3FF) << 10) + (units[++i] & 0x3FF);
            view.text += Utf8(c);
        }
        return view;
    }
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        return View{bytes.substr(0, 3), false, bytes.substr(3)};
    return View{"", false, bytes};
}

// Whether `text` can go into a UTF-16 file and come back the same: UTF-8 in its shortest form,
// lone surrogates allowed, but no high surrogate right before a low one (they would come back
// as one character).
bool HasUtf16Form(const std::string& text) {
    uint32_t previous = 0;
    for (size_t i = 0; i < text.size();) {
        const uint8_t lead = uint8_t(text[i]);
        size_t length = 0;
        while (length < 8 && (lead << length & 0x80))
            ++length;
        if (length == 0)
            length = 1;
        else if (length == 1 || length > 4 || text.size() - i < length)
            return false;
        uint32_t c = length == 1 ? lead : lead & (0x7F >> length);
        for (size_t k = 1; k < length; ++k) {
            if ((uint8_t(text[i + k]) & 0xC0) != 0x80)
                return false;
            c = c << 6 | (uint8_t(text[i + k]) & 0x3F);
        }
        const uint32_t shortest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (c < shortest[length] || c > 0x10FFFF)
            return false;
        if (previous >> 10 == 0x36 && c >> 10 == 0x37)
            return false;
        previous = c;
        i += length;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const FolderFile file("MV2.ini");
    // Far below the settings file's size limit, which is not what this checks.
    if (size > 65536)
        return 0;
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::string text = input;
    std::string section = "Setup", key = "Port", value = "COM3";
    const size_t third = input.rfind('\0');
    const size_t second =
        third == 0 || third == std::string::npos ? std::string::npos : input.rfind('\0', third - 1);
    const size_t first = second == 0 || second == std::string::npos ? std::string::npos
                                                                    : input.rfind('\0', second - 1);
    if (first != std::string::npos) {
        text = input.substr(0, first);
        section = input.substr(first + 1, second - first - 1);
        key = input.substr(second + 1, third - second - 1);
        value = input.substr(third + 1);
    }

    file.Store(text);
    ProfileFile profile(file.Path());
    const auto before = Viewed(text);
    const bool encodable =
        before &&
        (!before->utf16 || (HasUtf16Form(section) && HasUtf16Form(key) && HasUtf16Form(value)));
    // Every other section must read the same afterwards.
    std::vector<std::string> names;
    std::vector<Values> others;
    for (const auto& line : Lines(before ? before->text : "")) {
        const auto name = SectionName(line);
        if (name && !SameName(*name, section) && names.size() < 8) {
            names.push_back(*name);
            others.push_back(profile.ReadSectionValues(*name));
        }
    }
    Values expected = profile.ReadSectionValues(section);
    if (!before)
        REQUIRE(expected.empty());

    // A write either replaces the file whole or leaves it as it was; nothing else stays behind.
    bool refused = false;
    try {
        profile.WriteString(section, key, value);
    } catch (const ProfileWriteError&) {
        refused = true;
    }
    REQUIRE(file.Entries() == std::vector<std::string>{"MV2.ini"});
    REQUIRE(refused == !encodable);
    const std::string written = file.Load();
    if (refused) {
        REQUIRE(written == text);
        return 0;
    }
    const auto after = Viewed(written);
    REQUIRE(after && after->mark == before->mark);
    if (!Representable(section, key, value))
        return 0;

    REQUIRE(profile.ReadString(section, key, "\n") == value);
    bool replaced = false;
    for (auto& [name, old] : expected)
        if (!replaced && SameName(name, key))
            old = value, replaced = true;
    if (!replaced)
        expected.emplace_back(key, value);
    REQUIRE(profile.ReadSectionValues(section) == expected);
    for (size_t i = 0; i < names.size(); ++i)
        REQUIRE(profile.ReadSectionValues(names[i]) == others[i]);
    CheckOnlyKeyChanged(before->text, after->text, section, key, value);

    // Saving the same setting again changes nothing.
    profile.WriteString(section, key, value);
    REQUIRE(file.Load() == written);
    return 0;
}
