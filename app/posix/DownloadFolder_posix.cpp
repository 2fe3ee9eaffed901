// The download folder on POSIX systems, after the XDG user folders.
#include "DownloadFolder.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <system_error>
#include <unistd.h>

namespace {

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home && *home == '/')
        return home;
    const passwd* user = getpwuid(getuid());
    return user && user->pw_dir ? user->pw_dir : "";
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
