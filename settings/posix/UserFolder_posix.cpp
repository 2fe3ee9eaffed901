// The per-user folder on POSIX systems, after the XDG base directory rules.
#include "UserFolder.h"

#include "MessageText.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

} // namespace

std::string UserFolder() {
    // A relative XDG_DATA_HOME is invalid and ignored.
    std::string data = Environment("XDG_DATA_HOME");
    if (data.empty() || data[0] != '/') {
        std::string home = Environment("HOME");
        if (home.empty()) {
            const passwd* user = getpwuid(getuid());
            home = user && user->pw_dir ? user->pw_dir : "";
        }
        if (home.empty() || home[0] != '/')
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
