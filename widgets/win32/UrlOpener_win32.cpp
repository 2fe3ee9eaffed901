// Links opened through the Windows shell.
#include "UrlOpener.h"

#include "WideText.h"

#include <windows.h>

#include <shellapi.h>

// The wide function: an address with characters outside the ANSI code page still arrives whole.
void OpenWithDefaultHandler(const std::string& url) {
    ShellExecuteW(GetDesktopWindow(), L"Open", Widen(url).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}
