// UTF-8 to UTF-16 and back for the Win32 calls, and Windows' device names.
#pragma once

#include <string>

// The project's texts are UTF-8; the Win32 wide-character functions take UTF-16. Every call
// into Windows that carries text or a file name converts here, so that umlauts in texts and
// folder names survive whatever the system's ANSI code page is.
std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& wide);

// Whether Windows takes `path` for a device rather than a file: COM1 to COM9, AUX, CON and the
// like, or anything in \\.\; NUL, which takes nothing anywhere, excepted. Opening a serial
// port alone may change its lines, so such a name is refused unopened wherever a file is meant.
bool IsDeviceName(const std::string& path);
// The same for a name as GetFullPathNameW gives it.
bool IsDeviceFullPath(const std::wstring& full);

// `path` as GetFullPathNameW gives it: absolute, device names as \\.\NAME; `path` itself where
// the system cannot say.
std::wstring FullPathName(const std::string& path);

// The system's text for a Win32 error code, in the system's language, umlauts and all, without
// the line end the system appends.
std::string SystemErrorText(unsigned long error);
