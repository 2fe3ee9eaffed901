// Port names resolved on Windows: \\.\COMn, files by their identity.
#include "PortResolver.h"

#include "SerialPort.h"
#include "UniqueHandle.h"
#include "WideText.h"

#include <windows.h>

namespace {

// Names compared as Windows compares them: without regard to case, whatever the locale.
bool SameName(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// Volume and file index: the one identity of a file, whatever its name.
bool FileIdentity(const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
    const UniqueHandle file(
        CreateFileW(Widen(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return file.Valid() && GetFileInformationByHandle(file.Get(), &info) != 0;
}

} // namespace

// COM1 to COM9 open by their bare names too, the higher ones only by their device names.
std::string ResolvePortPath(const std::string& port, const std::optional<std::string>&) {
    return IsDevicePath(port) ? port : DevicePrefix + port;
}

bool SameDevice(const std::string& a, const std::string& b) {
    const std::wstring first = FullPathName(a), second = FullPathName(b);
    // A port is never opened to find out what it is: that would take it from its user.
    if (IsDeviceFullPath(first) || IsDeviceFullPath(second))
        return SameName(first, second);
    BY_HANDLE_FILE_INFORMATION one{}, other{};
    if (FileIdentity(a, one) && FileIdentity(b, other))
        return one.dwVolumeSerialNumber == other.dwVolumeSerialNumber &&
               one.nFileIndexHigh == other.nFileIndexHigh &&
               one.nFileIndexLow == other.nFileIndexLow;
    return SameName(first, second);
}
