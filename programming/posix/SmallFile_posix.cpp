// Small files of sysfs and /proc read on POSIX, refusing anything but a regular file.
#include "SmallFile.h"

#include "RetryOnEintr.h"
#include "UniqueFd.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::optional<std::string> ReadSmallFile(const std::string& path, size_t limit) {
    struct stat info {};
    // Looked at before it is opened: opening a FIFO can wait for ever, and opening a device acts
    // on it (a serial port raises its modem lines).
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd.Valid())
        return std::nullopt;
    std::string text(limit, '\0');
    size_t got = 0;
    bool failed = fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode); // replaced meanwhile
    while (!failed && got < limit) {
        const ssize_t n = RetryOnEintr([&] { return ::read(fd.Get(), &text[got], limit - got); });
        if (n > 0)
            got += size_t(n);
        else if (n == 0)
            break;
        else
            failed = true;
    }
    if (failed)
        return std::nullopt;
    text.resize(got);
    return text;
}
