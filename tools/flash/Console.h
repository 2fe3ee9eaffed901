// What the command-line tool needs of the platform's console.
#pragma once

#include "Result.h"
#include "SerialPort.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// First thing in main: UTF-8 output; on POSIX descriptors 0 to 2 opened on /dev/null where
// they are closed (or the port would get one of them), SIGPIPE and SIGXFSZ ignored (a reader
// that has gone, or a file at its size limit, must not end a run half-way: the write fails).
void PrepareConsole();
// The program's arguments in UTF-8, the program's name first. Windows hands main its arguments
// in the ANSI code page, which has no room for most names; POSIX passes them through.
std::vector<std::string> CommandLineArguments(int argc, char** argv);
bool IsTerminal(std::FILE* stream);
// Whether the terminal behind `stream` moves the cursor on the usual escape sequences, which
// progress lines redrawn in place need; on Windows this switches them on where it can.
bool EnableCursorMovement(std::FILE* stream);
// The first Ctrl-C, SIGTERM or other ending signal asks to stop, the second exits at once with
// the ports put back; a signal ignored at start stays ignored. A crash puts the ports back and
// then ends the program as it would have.
void InstallStopSignals();
int StopSignalCount();
// The platform's serial port. On POSIX, while it is open, the second stop signal restores its
// line setting, lowers DTR and RTS and lifts its exclusive flag before the process exits; this
// holds for every port of a gang at once.
std::unique_ptr<SerialPort> CreateConsoleSerialPort();
// Whether `path` names a serial port of the system: on POSIX a terminal with a device behind it
// (in the sysfs tree at `sysRoot`), not a pseudo-terminal or /dev/null; on Windows a device
// name other than NUL.
bool IsAttachedTerminal(const std::string& path, const std::string& sysRoot = "/sys");
// The machine's name for run logs; empty when the system does not tell.
std::string HostName();

// A file that only grows: each Append is one write at the file's end as it is at that moment,
// so that several runs and several processes can share the file line by line, and nothing in
// it is ever overwritten.
class AppendFile {
public:
    virtual ~AppendFile() = default;
    // The system's reason when the file cannot be opened or created, or (on POSIX) turns out to
    // be a serial port once opened.
    static Result<std::unique_ptr<AppendFile>> Open(const std::string& path);
    // The system's reason when the text did not go in whole.
    virtual std::optional<std::string> Append(const std::string& text) = 0;
};
