// The window's command line: the file to open, the user folder, help and version.
#pragma once

#include <string>
#include <vector>

// The window's command line: morvik2-update [--user-folder] [FILE], --help, --version. Parsed
// alike on every system; each program main shows the result its own way.
struct WindowCommandLine {
    enum class Action { Open, Help, Version, UsageError };
    Action action = Action::Open;
    // The firmware file, made absolute against the working directory the program was started
    // in; empty for none.
    std::string file;
    bool userFolder = false;
    std::string error; // UsageError: what was wrong, for the user
};

// `arguments` without the program's name, UTF-8.
WindowCommandLine ParseWindowCommandLine(const std::vector<std::string>& arguments);

// What --help shows, and --version.
std::string WindowUsage();
std::string WindowVersion();

// Usage errors end the program with this status, as the command-line tool's do.
constexpr int WindowUsageExitStatus = 64;
