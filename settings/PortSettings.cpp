// The settings files a front end reads, and the port they keep.
#include "PortSettings.h"

#include "ProfileFile.h"
#include "SerialPort.h"
#include "UserFolder.h"

#include <filesystem>
#include <system_error>

std::optional<std::string> SettingsPathInWorkingDirectory() {
    std::error_code error;
    const std::filesystem::path dir = std::filesystem::current_path(error);
    if (error || dir.empty())
        return std::nullopt;
    // UTF-8 like every other text here; string() would take Windows' ANSI code page.
    return (dir / SettingsFileName).u8string();
}

const std::vector<std::string>& PortNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> list;
        for (int n = 1; n <= 16; ++n)
            list.push_back("COM" + std::to_string(n));
        return list;
    }();
    return names;
}

std::optional<std::string> StoredPort(const std::string& iniPath) {
    std::string port = ProfileFile(iniPath).ReadString("Setup", "Port", "");
    if (!IsPortName(port))
        return std::nullopt;
    return port;
}

SettingsFiles FindSettingsFiles() {
    SettingsFiles files;
    files.workingDirectory = SettingsPathInWorkingDirectory();
    const std::string folder = UserFolder();
    if (!folder.empty())
        files.userFolder = (std::filesystem::u8path(folder) / SettingsFileName).u8string();
    return files;
}

namespace {

bool IsThere(const std::optional<std::string>& path) {
    std::error_code error;
    return path && std::filesystem::is_regular_file(std::filesystem::u8path(*path), error);
}

} // namespace

std::optional<std::string> PortsFileForGivenNames(const SettingsFiles& files) {
    if (IsThere(files.workingDirectory))
        return files.workingDirectory;
    if (IsThere(files.userFolder))
        return files.userFolder;
    return std::nullopt;
}

PortChoice ChoosePorts(const std::vector<std::string>& given, const std::string& environment,
                       const SettingsFiles& files) {
    if (!given.empty())
        return {given, PortSource::CommandLine, PortsFileForGivenNames(files)};
    if (!environment.empty())
        return {{environment}, PortSource::Environment, PortsFileForGivenNames(files)};
    for (const auto& [file, source] :
         {std::pair{&files.workingDirectory, PortSource::WorkingDirectory},
          {&files.userFolder, PortSource::UserFolder}})
        if (*file)
            if (const std::optional<std::string> stored = StoredPort(**file))
                return {{*stored}, source, *file};
    return {{PortNames().front()}, PortSource::Default, PortsFileForGivenNames(files)};
}
