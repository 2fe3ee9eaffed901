#include "Console.h"

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

void InstallStopSignals() {
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

int StopSignalCount() {
    return stopSignals.load();
}

const char* PermissionHint(int) {
    return nullptr;
}

// A port handle is never a C descriptor, and ExitProcess closes it.
std::unique_ptr<SerialPort> CreateConsoleSerialPort(PortLookup lookup) {
    return CreateSerialPort(std::move(lookup));
}
