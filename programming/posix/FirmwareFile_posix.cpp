// The firmware file opened on POSIX: a regular file only, never waiting.
#include "FirmwareFile.h"
#include "SmallFile.h"

#include <cerrno>
#include <fcntl.h>

Result<UniqueFile, int> OpenSharedForReading(const std::string& name) {
    Result<UniqueFd, int> fd = OpenRegularFile(name);
    if (!fd)
        return Failed{fd.Problem()};
    (void)fcntl(fd->Get(), F_SETFL, fcntl(fd->Get(), F_GETFL) & ~O_NONBLOCK);
    UniqueFile file(fdopen(fd->Get(), "rb"));
    if (!file)
        return Failed{errno};
    fd->Release(); // the stream's now
    return file;
}
