// The per-user folder on Windows: Morvik2 in the user's local application data.
#include "UserFolder.h"

#include "MessageText.h"
#include "WideText.h"

#include <windows.h>

#include <shlobj.h>

std::string UserFolder() {
    wchar_t* local = nullptr;
    std::string folder;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &local)) && local &&
        *local)
        folder = Narrow(local) + "\\Morvik2";
    CoTaskMemFree(local);
    return folder;
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
