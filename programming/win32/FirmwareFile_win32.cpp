// The firmware file opened on Windows: a disk file only, shared with other readers.
#include "FirmwareFile.h"
#include "WideText.h"

#include <cerrno>
#include <io.h>
#include <share.h>
#include <windows.h>

Result<UniqueFile, int> OpenSharedForReading(const std::string& name) {
    if (IsDeviceName(name))
        return Failed{ESPIPE};
    errno = 0;
    UniqueFile file(_wfsopen(Widen(name).c_str(), L"rb", _SH_DENYWR));
    if (!file)
        return Failed{errno ? errno : EIO};
    // What the name did not show: a pipe on another machine, say, would wait for input that may
    // never come.
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file.get())));
    if (GetFileType(handle) != FILE_TYPE_DISK)
        return Failed{ESPIPE};
    return file;
}
