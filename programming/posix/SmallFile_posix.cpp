// Files opened on POSIX refusing anything but a regular file, and small ones of sysfs and /proc.
#include "SmallFile.h"

#include "RetryOnEintr.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int NotAFile(const struct stat& info) {
    return S_ISREG(info.st_mode) ? 0 : S_ISDIR(info.st_mode) ? EISDIR : ESPIPE;
}

} // namespace

Result<UniqueFd, int> OpenRegularFile(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) == 0 && NotAFile(info) != 0)
        return Failed{NotAFile(info)};
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd.Valid())
        return Failed{errno};
    if (fstat(fd.Get(), &info) != 0)
        return Failed{errno};
    if (const int error = NotAFile(info))
        return Failed{error};
    return fd;
}

std::optional<std::string> ReadSmallFile(const std::string& path, size_t limit) {
    Result<UniqueFd, int> fd = OpenRegularFile(path);
    if (!fd)
        return std::nullopt;
    std::string text(limit, '\0');
    size_t got = 0;
    while (got < limit) {
        const ssize_t n = RetryOnEintr([&] { return ::read(fd->Get(), &text[got], limit - got); });
        if (n == 0)
            break;
        if (n < 0)
            return std::nullopt;
        got += size_t(n);
    }
    text.resize(got);
    return text;
}
