// The user's folders on POSIX systems, after the XDG base directory and user folder rules.
#include "UserFolder.h"

#include "MessageText.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace {

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// $HOME, else the user's entry in the password database; empty unless it is absolute.
std::string HomeFolder() {
    std::string home = Environment("HOME");
    if (home.empty()) {
        const passwd* user = getpwuid(getuid());
        home = user && user->pw_dir ? user->pw_dir : "";
    }
    return !home.empty() && home[0] == '/' ? home : "";
}

// XDG_DOWNLOAD_DIR as the shell reads the file that xdg-user-dir sources: "$HOME/yyy" or
// "/yyy" in double quotes, where a backslash keeps $ ` " and \ literal; the last line counts.
std::string ConfiguredFolder(const std::string& home) {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::ifstream dirs((config && *config == '/' ? std::string(config) : home + "/.config") +
                       "/user-dirs.dirs");
    const std::string key = "XDG_DOWNLOAD_DIR=\"";
    std::string line, folder;
    while (std::getline(dirs, line)) {
        size_t at = line.find_first_not_of(" \t");
        if (at == std::string::npos || line.compare(at, key.size(), key) != 0)
            continue;
        std::string value;
        for (at += key.size(); at < line.size() && line[at] != '"'; ++at) {
            if (line[at] == '\\' && at + 1 < line.size() &&
                std::string("$`\"\\").find(line[at + 1]) != std::string::npos)
                ++at;
            value += line[at];
        }
        if (at == line.size())
            continue; // no closing quote: the shell would not read it either
        if (value.compare(0, 5, "$HOME") == 0 && (value.size() == 5 || value[5] == '/'))
            folder = home + value.substr(5);
        else if (!value.empty() && value[0] == '/')
            folder = value;
    }
    return folder;
}

} // namespace

std::string UserFolder() {
    // A relative XDG_DATA_HOME is invalid and ignored.
    std::string data = Environment("XDG_DATA_HOME");
    if (data.empty() || data[0] != '/') {
        const std::string home = HomeFolder();
        if (home.empty())
            return {};
        data = home + "/.local/share";
    }
    while (data.size() > 1 && data.back() == '/')
        data.pop_back();
    return data + "/morvik2";
}

std::string UserFolderRule() {
    return "$XDG_DATA_HOME/morvik2, sonst ~/.local/share/morvik2";
}

std::optional<std::string> EnterUserFolder() {
    const std::string folder = UserFolder();
    if (folder.empty())
        return UserFolderText::NoneOnPosix;
    // Folders made here are the user's alone, as the XDG rules ask.
    for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return UserFolderText::CannotCreate(folder) + part + ": " + std::strerror(errno);
        if (slash == std::string::npos)
            break;
    }
    if (chdir(folder.c_str()) != 0)
        return UserFolderText::CannotEnter(folder) + std::strerror(errno);
    return std::nullopt;
}

std::string DownloadFolder() {
    const std::string home = HomeFolder();
    if (home.empty())
        return {};
    for (const std::string& folder : {ConfiguredFolder(home), home + "/Downloads", home}) {
        std::error_code error;
        if (!folder.empty() && std::filesystem::is_directory(folder, error))
            return folder;
    }
    return {};
}
