#include "PortSettings.h"

#include "ProfileFile.h"

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

PortLookup PortsSectionLookup(std::string iniPath) {
    return
        [iniPath = std::move(iniPath)](const std::string& portName) -> std::optional<std::string> {
            std::string path = ProfileFile(iniPath).ReadString("Ports", portName, "");
            if (path.empty())
                return std::nullopt;
            return path;
        };
}
