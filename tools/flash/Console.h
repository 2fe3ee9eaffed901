#pragma once

#include "SerialPort.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

// What the command-line tool needs of the platform's console.

// First thing in main: UTF-8 output; on POSIX descriptors 0 to 2 opened on /dev/null where
// they are closed (or the port would get one of them) and SIGPIPE ignored (a reader that has
// gone must not end a run half-way).
void PrepareConsole();
// The program's arguments in UTF-8, the program's name first. Windows hands main its arguments
// in the ANSI code page, which has no room for most names; POSIX passes them through.
std::vector<std::string> CommandLineArguments(int argc, char** argv);
bool IsTerminal(std::FILE* stream);
void InstallStopSignals(); // the first Ctrl-C / SIGTERM asks to stop, the second exits at once
int StopSignalCount();
// How to get access to a port refused with `osError`, or nullptr.
const char* PermissionHint(int osError);
// The platform's serial port. On POSIX, while it is open, the second stop signal restores its
// line setting, lowers DTR and RTS and lifts its exclusive flag before the process exits.
std::unique_ptr<SerialPort> CreateConsoleSerialPort(PortLookup lookup);
