#include "FirmwareFile.h"
#include "UniqueResource.h"
#include "WideText.h"

#include <cerrno>
#include <io.h>
#include <share.h>
#include <windows.h>

std::FILE* OpenSharedForReading(const std::string& name, int& error) {
    if (IsDeviceName(name)) {
        error = ESPIPE;
        return nullptr;
    }
    errno = 0;
    UniqueFile file(_wfsopen(Widen(name).c_str(), L"rb", _SH_DENYWR));
    if (!file) {
        error = errno ? errno : EIO;
        return nullptr;
    }
    // A device name such as CON or a pipe would wait for input that may never come.
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file.get())));
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        error = ESPIPE;
        return nullptr;
    }
    return file.release();
}
