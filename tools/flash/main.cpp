// morvik2-flash: programs a Morvik 2 from the command line, for scripts and production lines.
#include "Console.h"
#include "ConsoleServices.h"
#include "FirmwareFile.h"
#include "MessageText.h"
#include "PortSettings.h"
#include "ProfileFile.h"
#include "Programmer.h"

#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

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

// A day: enough for any bench, and far from what the clock can count.
constexpr int maxSearchTimeout = 86400;

int ExitStatusFor(RunOutcome outcome) {
    switch (outcome) {
    case RunOutcome::Ok:
        return ExitOk;
    case RunOutcome::WriteError:
        return ExitWriteError;
    case RunOutcome::SearchTimedOut:
        return ExitSearchTimeout;
    case RunOutcome::SearchStopped:
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

// 0 for no limit, otherwise finite seconds up to the maximum; NaN fails both comparisons.
CLI::Validator SearchTimeoutRange() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            double seconds = 0;
            if (CLI::detail::lexical_cast(text, seconds) && seconds >= 0 &&
                seconds <= maxSearchTimeout)
                return {};
            return "\"" + text + "\" ist keine Zahl von 0 (unbegrenzt) bis " +
                   std::to_string(maxSearchTimeout) + " Sekunden";
        },
        "");
}

void PrintFileProblem(const char* headline, const std::string& path, const std::error_code& error) {
    std::fprintf(stderr, "%s\n%s: %s\n", headline, path.c_str(), error.message().c_str());
}

int Run(const std::vector<std::string>& arguments) {
    std::string port;
    std::string file = FirmwareFileName;
    double searchTimeout = 0;
    bool quiet = false;

    CLI::App app{"Schreibt neue Firmware in einen Morvik 2 (Intel-HEX-Datei über die serielle "
                 "Schnittstelle)."};
    app.name("morvik2-flash");
    app.set_version_flag("--version", std::string("morvik2-flash ") + MORVIK2_VERSION);
    CLI::Option* portOption =
        app.add_option("--port", port,
                       "COM1 bis COM" + std::to_string(MaxComNumber) +
                           " oder ein Gerätepfad; sonst Port aus MV2.ini, sonst COM1");
    app.add_option("--file", file, "Firmware-Datei")->capture_default_str();
    app.add_option("--search-timeout", searchTimeout,
                   "Sekunden, die auf den Morvik 2 gewartet wird: 0 = unbegrenzt, höchstens " +
                       std::to_string(maxSearchTimeout))
        ->check(SearchTimeoutRange())
        ->capture_default_str();
    app.add_flag("--quiet", quiet, "Keine Fortschrittsanzeige");
    std::vector<const char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(argument.c_str());
    try {
        app.parse(int(argv.size()), argv.data());
    } catch (const CLI::ParseError& error) {
        int status = app.exit(error);
        return status == 0 ? ExitOk : ExitUsage;
    }

    // Without a working directory there is no settings file: COM1, no [Ports] mapping.
    const std::optional<std::string> iniPath = SettingsPathInWorkingDirectory();
    TSetup setup;
    if (portOption->count() == 0) {
        // As the window does: a stored value that names no port falls back to COM1.
        std::string stored = iniPath ? ProfileFile(*iniPath).ReadString("Setup", "Port", "") : "";
        setup.Port = IsPortName(stored) ? stored : "COM1";
    } else if (IsPortName(port)) {
        setup.Port = port;
    } else {
        std::fprintf(stderr, "--port: \"%s\" ist weder COM1 bis COM%d noch ein Gerätepfad.\n",
                     port.c_str(), MaxComNumber);
        return ExitUsage;
    }

    std::error_code fileError;
    const auto fileType = std::filesystem::status(std::filesystem::u8path(file), fileError).type();
    if (fileType == std::filesystem::file_type::not_found) {
        std::fprintf(stderr, "%s\n%s\n", DisplayText(MessageText::NoFirmwareFile).c_str(),
                     file.c_str());
        return ExitFile;
    }
    if (fileError) {
        PrintFileProblem("Auf die Firmware-Datei kann nicht zugegriffen werden!", file, fileError);
        return ExitFile;
    }

    ConsoleServices console(!quiet && IsTerminal(stderr));
    auto serial = CreateConsoleSerialPort(iniPath ? PortsSectionLookup(*iniPath) : PortLookup{});
    Programmer run(console, *serial);
    run.Setup = setup;
    if (searchTimeout > 0) // at most a day: far from what milliseconds can count
        run.SearchTimeout =
            std::chrono::milliseconds(static_cast<long long>(std::ceil(searchTimeout * 1000)));
    console.Attach(run);
    InstallStopSignals();

    try {
        run.Programing(file);
    } catch (const FirmwareFileError& error) {
        std::fprintf(stderr, "%s\n", ExceptionText(error.what()).c_str());
        return ExitFile;
    }
    return ExitStatusFor(run.LastOutcome());
}

} // namespace

int main(int argc, char** argv) {
    PrepareConsole(); // before anything else may open a descriptor
    // Nothing leaves main: the run's objects are unwound (the port restored and released)
    // before the process ends with a message and an exit status.
    try {
        return Run(CommandLineArguments(argc, argv));
    } catch (const std::filesystem::filesystem_error& error) {
        PrintFileProblem("Auf eine Datei kann nicht zugegriffen werden!", error.path1().u8string(),
                         error.code());
        return ExitFile;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", ExceptionText(error.what()).c_str());
        return ExitWriteError;
    } catch (...) {
        std::fprintf(stderr, "Unbekannter Fehler.\n");
        return ExitWriteError;
    }
}
