// The user's folders on Windows: Morvik2 in the local application data, and the Downloads.
#include "UserFolder.h"

#include "MessageText.h"
#include "WideText.h"

#include <windows.h>

#include <shlobj.h>

namespace {

// The known folder `id`, wherever the user has moved it; empty where the system names none.
std::string KnownFolder(REFKNOWNFOLDERID id) {
    wchar_t* path = nullptr;
    std::string folder;
    if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &path)) && path)
        folder = Narrow(path);
    CoTaskMemFree(path);
    return folder;
}

} // namespace

std::string UserFolder() {
    const std::string local = KnownFolder(FOLDERID_LocalAppData);
    return local.empty() ? "" : local + "\\Morvik2";
}

std::string UserFolderRule() {
    return "%LOCALAPPDATA%\\Morvik2";
}

std::optional<std::string> EnterUserFolder() {
    const std::string folder = UserFolder();
    if (folder.empty())
        return UserFolderText::NoneOnWindows;
    const std::wstring wide = Widen(folder);
    if (!CreateDirectoryW(wide.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        return UserFolderText::CannotCreate(folder) + SystemErrorText(GetLastError());
    if (!SetCurrentDirectoryW(wide.c_str()))
        return UserFolderText::CannotEnter(folder) + SystemErrorText(GetLastError());
    return std::nullopt;
}

std::string DownloadFolder() {
    return KnownFolder(FOLDERID_Downloads);
}
