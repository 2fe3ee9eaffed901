// The firmware file opened on POSIX: a regular file only, never waiting.
#include "FirmwareFile.h"
#include "UniqueFd.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Only a regular file is taken: a FIFO would wait for a writer, and a device acts on being
// opened.
int NotAFile(const struct stat& info) {
    return S_ISREG(info.st_mode) ? 0 : S_ISDIR(info.st_mode) ? EISDIR : ESPIPE;
}

} // namespace

Result<UniqueFile, int> OpenSharedForReading(const std::string& name) {
    // Anything but a file is refused unopened: opening a tty alone raises its DTR and RTS.
    struct stat info {};
    if (stat(name.c_str(), &info) == 0 && NotAFile(info) != 0)
        return Failed{NotAFile(info)};
    // Non-blocking, so that a FIFO put there since cannot hang the run.
    UniqueFd fd(::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd.Valid())
        return Failed{errno};
    if (fstat(fd.Get(), &info) != 0)
        return Failed{errno};
    if (NotAFile(info) != 0)
        return Failed{NotAFile(info)};
    (void)fcntl(fd.Get(), F_SETFL, fcntl(fd.Get(), F_GETFL) & ~O_NONBLOCK);
    UniqueFile file(fdopen(fd.Get(), "rb"));
    if (!file)
        return Failed{errno};
    fd.Release(); // the stream's now
    return file;
}
