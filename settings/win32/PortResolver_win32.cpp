// Port names resolved on Windows: \\.\COMn, files by their identity.
#include "PortResolver.h"

#include "SerialPort.h"
#include "UniqueHandle.h"
#include "WideText.h"

#include <windows.h>

#include <cwctype>

namespace {

std::wstring FullPath(const std::string& path) {
    const std::wstring wide = Widen(path);
    const DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        return wide;
    std::wstring full(size, L'\0');
    const DWORD used = GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
    full.resize(used < size ? used : 0);
    for (wchar_t& c : full)
        c = wchar_t(std::towupper(c));
    return full;
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
    const std::wstring first = FullPath(a), second = FullPath(b);
    // A port is never opened to find out what it is: that would take it from its user.
    if (IsDeviceName(a) || IsDeviceName(b))
        return first == second;
    BY_HANDLE_FILE_INFORMATION one{}, other{};
    if (FileIdentity(a, one) && FileIdentity(b, other))
        return one.dwVolumeSerialNumber == other.dwVolumeSerialNumber &&
               one.nFileIndexHigh == other.nFileIndexHigh &&
               one.nFileIndexLow == other.nFileIndexLow;
    return first == second;
}
