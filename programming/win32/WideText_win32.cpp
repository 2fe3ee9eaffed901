// UTF-8 and UTF-16 converted through Windows, and the system's error texts.
#include "WideText.h"

#include "MessageText.h"

#include <algorithm>
#include <windows.h>

// Invalid sequences become U+FFFD instead of failing the whole text: a message with one bad
// byte still shows.
std::wstring Widen(const std::string& utf8) {
    if (utf8.empty())
        return {};
    const int size = static_cast<int>(utf8.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    if (length > 0)
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), length);
    return wide;
}

std::string Narrow(const std::wstring& wide) {
    if (wide.empty())
        return {};
    const int size = static_cast<int>(wide.size());
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(length), '\0');
    if (length > 0)
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, utf8.data(), length, nullptr, nullptr);
    return utf8;
}

std::string SystemErrorText(unsigned long error) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string result =
        length ? Narrow(std::wstring(text, length)) : UnknownSystemErrorText(error);
    if (text)
        LocalFree(text);
    while (!result.empty() &&
           (result.back() == '\n' || result.back() == '\r' || result.back() == ' '))
        result.pop_back();
    return result;
}

std::wstring FullPathName(const std::string& path) {
    const std::wstring wide = Widen(path);
    const DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        return wide;
    std::wstring full(size, L'\0');
    const DWORD used = GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
    if (used == 0 || used >= size)
        return wide;
    full.resize(used);
    return full;
}

bool IsDeviceFullPath(const std::wstring& full) {
    // COM1, AUX, CON and the like come back as \\.\NAME.
    return CompareStringOrdinal(full.c_str(), std::min<int>(4, int(full.size())), L"\\\\.\\", 4,
                                TRUE) == CSTR_EQUAL &&
           CompareStringOrdinal(full.c_str(), -1, L"\\\\.\\NUL", -1, TRUE) != CSTR_EQUAL;
}

bool IsDeviceName(const std::string& path) {
    return IsDeviceFullPath(FullPathName(path));
}
