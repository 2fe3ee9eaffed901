// Which MV2.ini a program reads, and the port names it offers.
#pragma once

#include <optional>
#include <string>
#include <vector>

inline const std::string SettingsFileName = "MV2.ini";

// The settings file in the process's working directory, or nothing when that directory cannot
// be determined (it was deleted, say): then no settings file is read or written.
std::optional<std::string> SettingsPathInWorkingDirectory();

// The port names always offered to the user, "COM1" to "COM16", whether present or not.
const std::vector<std::string>& PortNames();

// The port that key Port of section [Setup] in the settings file at `iniPath` names, when it
// names one (IsPortName); nothing for a missing file, a missing key or a value that names no
// port, which the window and the command-line tool both pass over.
std::optional<std::string> StoredPort(const std::string& iniPath);

// The settings files a command-line run reads: the working directory's, and the per-user one
// that the installed window keeps (UserFolder); nothing where there is no such place.
struct SettingsFiles {
    std::optional<std::string> workingDirectory;
    std::optional<std::string> userFolder;
};
SettingsFiles FindSettingsFiles();

// Which settings file maps the COMn names given on the command line or in MORVIK2_PORT: the
// working directory's where there is one, else the per-user one where there is that.
std::optional<std::string> PortsFileForGivenNames(const SettingsFiles& files);

// Where the ports of a run come from, first to last.
enum class PortSource { CommandLine, Environment, WorkingDirectory, UserFolder, Default };

struct PortChoice {
    std::vector<std::string> ports;
    PortSource source = PortSource::Default;
    std::optional<std::string> portsFile; // whose section [Ports] maps COMn
};

// The ports of a run, from the first of these that names one: `given` (--port), `environment`
// (MORVIK2_PORT; empty counts as unset), the stored port of the working directory's settings
// file, that of the per-user one, COM1. A stored port is mapped through its own file; every
// other through PortsFileForGivenNames. The names are not checked here.
PortChoice ChoosePorts(const std::vector<std::string>& given, const std::string& environment,
                       const SettingsFiles& files);
