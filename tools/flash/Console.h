#pragma once

#include <cstdio>

// What the command-line tool needs of the platform's console.
void PrepareConsole(); // UTF-8 output
bool IsTerminal(std::FILE* stream);
void InstallStopSignals(); // the first Ctrl-C / SIGTERM asks to stop, the second exits at once
int StopSignalCount();
// How to get access to a port refused with `osError`, or nullptr.
const char* PermissionHint(int osError);
