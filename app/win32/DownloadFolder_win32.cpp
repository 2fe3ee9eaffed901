// The download folder on Windows: the known folder, wherever the user has moved it.
#include "DownloadFolder.h"
#include "WideText.h"

#include <windows.h>

#include <shlobj.h>

std::string DownloadFolder() {
    wchar_t* downloads = nullptr;
    std::string folder;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Downloads, 0, nullptr, &downloads)) && downloads)
        folder = Narrow(downloads);
    CoTaskMemFree(downloads);
    return folder;
}
