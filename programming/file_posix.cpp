#include "FirmwareFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::FILE* OpenSharedForReading(const std::string& name, int& error) {
    // Non-blocking, so that a FIFO without a writer cannot hang the run.
    int fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return nullptr;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        // The file is read twice from its start; only a regular file can be.
        error = fstat(fd, &info) != 0 ? errno : S_ISDIR(info.st_mode) ? EISDIR : ESPIPE;
        ::close(fd);
        return nullptr;
    }
    int flags = fcntl(fd, F_GETFL);
    (void)fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    std::FILE* file = fdopen(fd, "rb");
    if (!file) {
        error = errno;
        ::close(fd);
    }
    return file;
}
