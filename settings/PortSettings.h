#pragma once

#include "SerialPort.h"

#include <optional>
#include <string>
#include <vector>

inline const std::string SettingsFileName = "MV2.ini";

// The settings file in the process's working directory, or nothing when that directory cannot
// be determined (it was deleted, say): then no settings file is read or written.
std::optional<std::string> SettingsPathInWorkingDirectory();

// The port names always offered to the user, "COM1" to "COM16", whether present or not.
const std::vector<std::string>& PortNames();

// Looks "COMn" up in section "Ports" of the settings file at `iniPath`, anew on every call,
// so that an edit takes effect with the next run. The program never writes that section.
PortLookup PortsSectionLookup(std::string iniPath);
