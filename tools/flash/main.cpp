// morvik2-flash: programs a Morvik 2 from the command line, for scripts and production lines.
#include "Console.h"
#include "ConsoleServices.h"
#include "FirmwareFile.h"
#include "MessageText.h"
#include "PortSettings.h"
#include "ProfileFile.h"
#include "Programmer.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>

#ifndef MORVIK2_VERSION
#define MORVIK2_VERSION "0"
#endif

namespace {

enum ExitStatus {
    ExitOk = 0,
    ExitWriteError = 1,
    ExitStopped = 2,
    ExitPort = 3,
    ExitFile = 4,
    ExitSearchTimeout = 5,
    ExitUsage = 64,
};

bool IsDevicePath(const std::string& port) {
    return port.find('/') != std::string::npos || port.rfind("\\\\.\\", 0) == 0;
}

int ExitStatusFor(RunOutcome outcome, bool searchTimedOut) {
    switch (outcome) {
    case RunOutcome::Ok:
        return ExitOk;
    case RunOutcome::WriteError:
        return ExitWriteError;
    case RunOutcome::SearchStopped:
        return searchTimedOut ? ExitSearchTimeout : ExitStopped;
    case RunOutcome::Stopped:
        return ExitStopped;
    case RunOutcome::PortFailed:
    case RunOutcome::PortLost:
        return ExitPort;
    case RunOutcome::FileError:
        return ExitFile;
    case RunOutcome::None:
        break;
    }
    return ExitWriteError;
}

} // namespace

int main(int argc, char** argv) {
    PrepareConsole();
    const std::string iniPath = (std::filesystem::absolute(SettingsFileName)).string();

    std::string port;
    std::string file = "Morvik2 update.QV";
    double searchTimeout = 0;
    bool quiet = false;

    CLI::App app{"Schreibt neue Firmware in einen Morvik 2 (Intel-HEX-Datei über die serielle "
                 "Schnittstelle)."};
    app.name("morvik2-flash");
    app.set_version_flag("--version", std::string("morvik2-flash ") + MORVIK2_VERSION);
    app.add_option("--port", port,
                   "COM1 bis COM16 oder ein Gerätepfad; sonst Port aus MV2.ini, sonst COM1");
    app.add_option("--file", file, "Firmware-Datei")->capture_default_str();
    app.add_option("--search-timeout", searchTimeout,
                   "Sekunden, die auf den Morvik 2 gewartet wird (0 = unbegrenzt)")
        ->check(CLI::NonNegativeNumber)
        ->capture_default_str();
    app.add_flag("--quiet", quiet, "Keine Fortschrittsanzeige");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        int status = app.exit(error);
        return status == 0 ? ExitOk : ExitUsage;
    }

    TSetup setup;
    if (port.empty()) {
        // As the window does: an unknown stored value falls back to COM1.
        std::string stored = ProfileFile(iniPath).ReadString("Setup", "Port", "");
        setup.Port = PortIndex(stored) >= 0 ? stored : "COM1";
    } else if (PortIndex(port) >= 0 || IsDevicePath(port)) {
        setup.Port = port;
    } else {
        std::fprintf(stderr, "--port: \"%s\" ist weder COM1 bis COM16 noch ein Gerätepfad.\n",
                     port.c_str());
        return ExitUsage;
    }

    if (!std::filesystem::exists(file)) {
        std::fprintf(
            stderr, "%s\n%s\n",
            DisplayText("Keine hex Datei ausgewählt oder \n\rDatei existiert nicht!").c_str(),
            file.c_str());
        return ExitFile;
    }

    ConsoleServices console(!quiet && IsTerminal(stderr), searchTimeout);
    auto serial = CreateSerialPort(PortsSectionLookup(iniPath));
    Programmer run(console, *serial);
    run.Setup = setup;
    console.Attach(run);
    InstallStopSignals();

    try {
        run.Programing(file);
    } catch (const FirmwareFileError& error) {
        std::fprintf(stderr, "%s\n", ExceptionText(error.what()).c_str());
        return ExitFile;
    }
    return ExitStatusFor(run.LastOutcome(), console.SearchTimedOut());
}
