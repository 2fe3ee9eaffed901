#include "FirmwareFile.h"

#include <cerrno>
#include <share.h>

std::FILE* OpenSharedForReading(const std::string& name, int& error) {
    errno = 0;
    std::FILE* file = _fsopen(name.c_str(), "rb", _SH_DENYWR);
    if (!file)
        error = errno ? errno : EIO;
    return file;
}
