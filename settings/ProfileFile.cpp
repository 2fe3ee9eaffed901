// MV2.ini read and written with the Windows profile-file rules.
#include "ProfileFile.h"

#include "MessageText.h"
#include "ProfileStorage.h"
#include "TextEncoding.h"

#include <algorithm>
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

// A missing file is empty; empty when the file cannot be read: not a regular file (a
// directory, a FIFO, a device), larger than MaxFileSize, or malformed.
std::optional<FileText> Load(const std::string& path) {
    std::string bytes;
    switch (profile_storage::ReadAll(path, MaxFileSize, bytes)) {
    case profile_storage::ReadResult::Missing:
        return FileText{};
    case profile_storage::ReadResult::Unreadable:
        return std::nullopt;
    case profile_storage::ReadResult::Read:
        break;
    }
    return DecodeText(bytes);
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
    const auto lines = SplitLines(Load(path_).value_or(FileText{}).text);
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
    const ProfileWriteError failure(SettingsWriteErrorText(path_));
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
    const auto bytes = EncodeText(*content);
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
