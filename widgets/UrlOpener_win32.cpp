#include "UrlOpener.h"

#include <windows.h>

#include <shellapi.h>

void OpenWithDefaultHandler(const std::string& url) {
    ShellExecuteA(GetDesktopWindow(), "Open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}
