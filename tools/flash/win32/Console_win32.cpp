// The command-line tool's console on Windows: UTF-8, Ctrl-C, append files.
#include "Console.h"

#include "UniqueHandle.h"
#include "WideText.h"

#include <atomic>
#include <io.h>
#include <windows.h>

#include <shellapi.h>

namespace {
std::atomic<int> stopSignals{0};

BOOL WINAPI OnConsoleControl(DWORD) {
    if (stopSignals.fetch_add(1) >= 1)
        ExitProcess(2); // the system closes the port's handle
    return TRUE;
}
} // namespace

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide)
        return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i)
        arguments.push_back(Narrow(wide[i]));
    LocalFree(wide);
    return arguments;
}

void PrepareConsole() {
    SetConsoleOutputCP(CP_UTF8);
}

bool IsTerminal(std::FILE* stream) {
    return _isatty(_fileno(stream)) != 0;
}

bool EnableCursorMovement(std::FILE* stream) {
    const HANDLE console = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    if (!IsTerminal(stream) || !GetConsoleMode(console, &mode))
        return false;
    // Windows 10 and later; older consoles keep to plain lines.
    return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) ||
           SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

void InstallStopSignals() {
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

int StopSignalCount() {
    return stopSignals.load();
}

bool IsAttachedTerminal(const std::string& path, const std::string&) {
    return IsDeviceName(path);
}

std::string HostName() {
    wchar_t name[256];
    DWORD length = 256;
    if (!GetComputerNameExW(ComputerNameDnsHostname, name, &length))
        return {};
    return Narrow(std::wstring(name, length));
}

namespace {

class Win32AppendFile : public AppendFile {
public:
    explicit Win32AppendFile(UniqueHandle file) : file_(std::move(file)) {}

    std::optional<std::string> Append(const std::string& text) override {
        // With append access alone, each write lands at the end as one piece.
        DWORD written = 0;
        if (WriteFile(file_.Get(), text.data(), DWORD(text.size()), &written, nullptr) &&
            written == text.size())
            return std::nullopt;
        return SystemErrorText(GetLastError());
    }

private:
    UniqueHandle file_;
};

} // namespace

Result<std::unique_ptr<AppendFile>> AppendFile::Open(const std::string& path) {
    UniqueHandle file(CreateFileW(Widen(path).c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid())
        return Failed{SystemErrorText(GetLastError())};
    return std::make_unique<Win32AppendFile>(std::move(file));
}

// A port handle is never a C descriptor, and ExitProcess closes it.
std::unique_ptr<SerialPort> CreateConsoleSerialPort() {
    return CreateSerialPort();
}
