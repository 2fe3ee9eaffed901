// The settings file: one key written into arbitrary file text, then read back.
// Input: <file text> NUL <section> NUL <key> NUL <value>; with fewer than three NULs the whole
// input is the file text and the program's own setting is written.
#include "MemoryFile.h"
#include "ProfileFile.h"
#include "Require.h"

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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static MemoryFile file("MV2.ini");
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
    // Every other section must read the same afterwards.
    std::vector<std::string> names;
    std::vector<Values> others;
    for (const auto& line : Lines(text)) {
        const auto name = SectionName(line);
        if (name && !SameName(*name, section) && names.size() < 8) {
            names.push_back(*name);
            others.push_back(profile.ReadSectionValues(*name));
        }
    }
    Values expected = profile.ReadSectionValues(section);

    profile.WriteString(section, key, value);
    if (!Representable(section, key, value))
        return 0;
    const std::string written = file.Load();

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
    CheckOnlyKeyChanged(text, written, section, key, value);

    // Saving the same setting again changes nothing.
    profile.WriteString(section, key, value);
    REQUIRE(file.Load() == written);
    return 0;
}
