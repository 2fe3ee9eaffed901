// The window's command line, parsed alike on every system.
#include "CommandLine.h"

#include "MessageText.h"
#include "UserFolder.h"
#include "Version.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

WindowCommandLine ParseWindowCommandLine(const std::vector<std::string>& arguments) {
    WindowCommandLine line;
    bool optionsEnd = false;
    bool fileGiven = false;
    for (const std::string& argument : arguments) {
        if (!optionsEnd && argument == "--") {
            optionsEnd = true;
        } else if (!optionsEnd && (argument == "--help" || argument == "-h")) {
            line.action = WindowCommandLine::Action::Help;
            return line;
        } else if (!optionsEnd && argument == "--version") {
            line.action = WindowCommandLine::Action::Version;
            return line;
        } else if (!optionsEnd && argument == "--user-folder") {
            line.userFolder = true;
        } else if (!optionsEnd && argument.size() > 1 && argument[0] == '-') {
            line.action = WindowCommandLine::Action::UsageError;
            line.error = "Unbekannte Option: " + argument;
        } else if (fileGiven) {
            line.action = WindowCommandLine::Action::UsageError;
            line.error = "Nur eine Firmware-Datei: " + argument;
        } else if (argument.empty()) {
            line.action = WindowCommandLine::Action::UsageError;
            line.error = "Leerer Dateiname";
        } else {
            fileGiven = true;
            std::error_code error;
            const fs::path absolute = fs::absolute(fs::u8path(argument), error);
            line.file = error ? argument : absolute.lexically_normal().u8string();
        }
        if (line.action == WindowCommandLine::Action::UsageError)
            return line;
    }
    return line;
}

std::string WindowUsage() {
    return "Aufruf: morvik2-update [--user-folder] [DATEI]\n"
           "\n"
           "Schreibt neue Firmware in einen Morvik 2 (Fenster).\n"
           "\n"
           "  DATEI          die Firmware-Datei; ohne sie \"" +
           FirmwareFileName +
           "\" im Arbeitsordner\n"
           "  --user-folder  arbeitet im Benutzerordner, dort liegt MV2.ini:\n"
           "                 " +
           UserFolderRule() +
           "\n"
           "  --help         zeigt diese Hilfe\n"
           "  --version      zeigt die Version\n";
}

std::string WindowVersion() {
    return std::string("morvik2-update ") + ProgramVersion;
}
