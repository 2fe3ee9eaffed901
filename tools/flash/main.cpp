// morvik2-flash: programs a Morvik 2 from the command line, for scripts and production lines;
// several at once when given several ports.
#include "Console.h"
#include "ConsoleOutput.h"
#include "FirmwareFile.h"
#include "FlashRuns.h"
#include "MessageText.h"
#include "PortListing.h"
#include "PortResolver.h"
#include "PortSettings.h"
#include "ProfileFile.h"
#include "SerialPortList.h"
#include "UsageText.h"
#include "UserFolder.h"
#include "Version.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>
#include <vector>

namespace {

// A day: enough for any bench, and far from what the clock can count.
constexpr int maxSearchTimeout = 86400;

// Names the port of every run without --port: a station's own default.
const char* const portVariable = "MORVIK2_PORT";

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

// Which port a run takes without --port, as ChoosePorts has it.
std::string PortOrderHelp() {
    return std::string("Ohne --port gilt der erste Port aus:\n  ") + portVariable +
           " (leer: nicht gesetzt)\n"
           "  Port in MV2.ini im Arbeitsverzeichnis\n"
           "  Port in MV2.ini im Benutzerordner (" +
           UserFolderRule() +
           ")\n"
           "  COM1\n"
           "Eine MV2.ini, deren Port fehlt oder keinen Port nennt, wird übergangen.\n"
           "COMn gilt nach Abschnitt [Ports] der MV2.ini, aus der er stammt; ein Port aus --port "
           "oder\n" +
           portVariable +
           " nach der im Arbeitsverzeichnis, wenn es sie gibt, sonst der im "
           "Benutzerordner.";
}

int Usage(const std::string& text) {
    std::fprintf(stderr, "%s\n%s\n", text.c_str(), UsageHint);
    return ExitUsage;
}

// --list-ports: every serial port, with the COMn names MV2.ini gives it.
int ListPorts(const std::optional<std::string>& iniPath, bool json) {
    const auto section = iniPath ? ProfileFile(*iniPath).ReadSectionValues("Ports")
                                 : std::vector<std::pair<std::string, std::string>>{};
    for (const SerialPortInfo& port : EnumerateSerialPorts()) {
        const std::vector<std::string> names = MappedComNames(port, section);
        std::printf("%s\n", (json ? PortEntry(port, names) : PortLine(port, names)).c_str());
    }
    std::fflush(stdout);
    return ExitOk;
}

// A run log or trace must not be written into a port (opening a tty alone raises DTR and RTS)
// or into the firmware file, which would grow with every run.
bool IsForbiddenOutput(const std::string& path, const std::string& firmware,
                       const std::vector<std::string>& portPaths) {
    return IsAttachedTerminal(path) || SameDevice(path, firmware) ||
           std::any_of(portPaths.begin(), portPaths.end(),
                       [&](const std::string& port) { return SameDevice(path, port); });
}

std::unique_ptr<AppendFile> OpenAppendFile(const std::string& path, const char* what) {
    Result<std::unique_ptr<AppendFile>> file = AppendFile::Open(path);
    if (!file) {
        std::fprintf(stderr, "%s kann nicht geöffnet werden!\n%s: %s\n", what, path.c_str(),
                     file.Problem().c_str());
        return nullptr;
    }
    return std::move(*file);
}

int Run(const std::vector<std::string>& arguments) {
    std::vector<std::string> ports;
    std::string file = FirmwareFileName;
    std::string positionalFile;
    double searchTimeout = 0;
    bool quiet = false;
    std::string logPath, tracePath;
    bool json = false;
    bool listPorts = false;
    bool verbose = false;

    CLI::App app{"Schreibt neue Firmware in einen Morvik 2 (Intel-HEX-Datei über die serielle "
                 "Schnittstelle), mit mehreren Ports in ebenso viele Geräte zugleich."};
    GermanHelp(app);
    app.name("morvik2-flash");
    app.set_version_flag("--version", std::string("morvik2-flash ") + ProgramVersion,
                         "Version zeigen und beenden");
    app.add_option("-p,--port", ports,
                   "COM1 bis COM" + std::to_string(MaxComNumber) +
                       ", ein Gerätepfad oder der USB-Adapter usb:VID:PID[:SERIENNUMMER], "
                       "usb:VID:PID:* für alle solchen; bis zu " +
                       std::to_string(MaxGangPorts) +
                       " Ports für ebenso viele Geräte zugleich; ohne --port: siehe unten")
        ->type_name("PORT")
        ->allow_extra_args(false);
    CLI::Option* fileOption = app.add_option("-f,--file", file, "Firmware-Datei")
                                  ->type_name("DATEI")
                                  ->capture_default_str();
    CLI::Option* positionalOption =
        app.add_option("DATEI", positionalFile, "Firmware-Datei, statt --file")->type_name("");
    app.add_option("--search-timeout", searchTimeout,
                   "Sekunden, die auf den Morvik 2 gewartet wird: 0 = unbegrenzt, höchstens " +
                       std::to_string(maxSearchTimeout))
        ->type_name("SEKUNDEN")
        ->check(SearchTimeoutRange())
        ->capture_default_str();
    app.add_flag("--quiet", quiet, "Keine Fortschrittsanzeige, kein Hinweis, keine Schlusszeile");
    app.add_flag("-v,--verbose", verbose,
                 "Bei einem Fehlschlag eine Zeile mehr: Zeile und Adresse des Datensatzes (oder "
                 "der Endebefehl), den das Gerät nicht bestätigt hat, und seine Antwort");
    CLI::Option* logOption =
        app.add_option("--log", logPath,
                       "Run-Log: hängt je Gerät eine Zeile JSON an die Datei an (Zeit, Rechner, "
                       "Port, Firmware mit SHA-256, Datensätze, Bytes, Dauer, Ergebnis)")
            ->type_name("DATEI");
    app.add_flag("--json", json,
                 "Ereignisse als JSON, ein Objekt je Zeile, auf stdout statt der Statustexte");
    CLI::Option* traceOption =
        app.add_option("--trace", tracePath,
                       "Zeichnet jeden Rahmen und jede Antwort in hex mit Zeitstempeln auf, dazu "
                       "Steuerleitungen, Puffer löschen und Zeitgrenzen")
            ->type_name("DATEI");
    app.add_flag("--list-ports", listPorts,
                 "Alle seriellen Schnittstellen zeigen (mit --json als JSON) und beenden");
    app.footer(PortOrderHelp() + "\n\n" + ExitStatusHelp);

    std::vector<const char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(argument.c_str());
    try {
        app.parse(int(argv.size()), argv.data());
    } catch (const CLI::Success& success) {
        return app.exit(success) == 0 ? ExitOk : ExitUsage; // --help, --version
    } catch (const CLI::ParseError& error) {
        return Usage(GermanUsageError(error));
    }

    // Without a working directory only the per-user settings file is read.
    const SettingsFiles settings = FindSettingsFiles();
    if (listPorts)
        return ListPorts(PortsFileForGivenNames(settings), json);

    if (positionalOption->count() > 0) {
        if (fileOption->count() > 0)
            return Usage("Die Firmware-Datei ist zweimal angegeben: mit --file und als Argument.");
        file = positionalFile;
    }
    const char* environment = std::getenv(portVariable);
    const PortChoice choice = ChoosePorts(ports, environment ? environment : "", settings);
    const std::vector<std::string>& names = choice.ports;
    const std::string source = choice.source == PortSource::Environment ? portVariable : "--port";
    for (size_t i = 0; i < names.size(); ++i) {
        if (!IsPortName(names[i]) && !IsUsbPortName(names[i]))
            return Usage(source + ": \"" + Printable(names[i]) + "\" ist weder COM1 bis COM" +
                         std::to_string(MaxComNumber) + " noch ein Gerätepfad.");
        if (std::find(names.begin(), names.begin() + long(i), names[i]) != names.begin() + long(i))
            return Usage("--port: \"" + names[i] + "\" ist zweimal angegeben.");
    }
    const bool byUsbIdentity = std::any_of(names.begin(), names.end(), IsUsbPortName);
    const PortRuns resolved = ResolvePortNames(
        names, byUsbIdentity ? EnumerateSerialPorts() : std::vector<SerialPortInfo>{}, source);
    if (!resolved.usageError.empty())
        return Usage(resolved.usageError);
    if (resolved.runs.size() > MaxGangPorts)
        return Usage(source + ": höchstens " + std::to_string(MaxGangPorts) + " Ports, nicht " +
                     std::to_string(resolved.runs.size()) + ".");
    // Only runs with a device have a port to open, to compare or to keep output out of; each
    // is looked up once, and the run opens what was compared.
    std::vector<const PortRun*> opened;
    std::vector<std::string> portPaths, runPaths;
    ports.clear();
    for (const PortRun& run : resolved.runs) {
        ports.push_back(run.port);
        runPaths.push_back(run.noDevice.empty() ? ResolvePortPath(run.port, choice.portsFile) : "");
        if (run.noDevice.empty()) {
            opened.push_back(&run);
            portPaths.push_back(runPaths.back());
        }
    }
    for (const auto& [option, path] : {std::pair{logOption, &logPath}, {traceOption, &tracePath}})
        if (option->count() > 0 && path->empty())
            return Usage("--" + option->get_lnames().front() + ": \"\" ist kein Dateiname.");
    // One device under two names would be opened twice: one run fails "busy", and both write
    // into the log.
    if (const auto same = FirstSameDevice(portPaths))
        return Usage(source + ": \"" + opened[same->first]->givenAs + "\" und \"" +
                     opened[same->second]->givenAs + "\" sind dieselbe Schnittstelle.");

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

    for (const std::string* path : {&logPath, &tracePath})
        if (!path->empty() && IsForbiddenOutput(*path, file, portPaths))
            return Usage("Run-Log/Aufzeichnung darf nicht die Firmware-Datei oder eine "
                         "Schnittstelle sein: " +
                         *path);

    std::unique_ptr<AppendFile> log, trace;
    if (!logPath.empty() && !(log = OpenAppendFile(logPath, "Das Run-Log")))
        return ExitFile;
    if (!tracePath.empty() && !(trace = OpenAppendFile(tracePath, "Die Aufzeichnung")))
        return ExitFile;

    InstallStopSignals();
    std::optional<FirmwareFile> firmware;
    try {
        firmware = FirmwareFile::Load(file);
    } catch (const FirmwareFileError& error) {
        std::fprintf(stderr, "%s\n", ExceptionText(error.what()).c_str());
        return ExitFile;
    }

    FlashJob job;
    job.ports = ports;
    for (const PortRun& run : resolved.runs)
        job.noDevice.push_back(run.noDevice);
    job.paths = runPaths;
    if (searchTimeout > 0) // at most a day: far from what milliseconds can count
        job.searchTimeout =
            std::chrono::milliseconds(static_cast<long long>(std::ceil(searchTimeout * 1000)));
    job.progress = !quiet && EnableCursorMovement(stderr);
    job.json = json;
    job.verbose = verbose;
    job.log = log.get();
    job.logContext = {HostName(), std::filesystem::u8path(file).filename().u8string(),
                      firmware->Sha256()};

    ConsoleOutput output(stdout, stderr, job.progress ? ports.size() : 0);
    std::optional<TraceFile> traceFile;
    if (trace) {
        traceFile.emplace(*trace, output);
        traceFile->Line("", std::string("morvik2-flash ") + ProgramVersion + " " +
                                IsoLocalTime(std::chrono::system_clock::now()) + " " +
                                job.logContext.host + ", Firmware " + Printable(file) +
                                ", SHA-256 " + firmware->Sha256());
        job.trace = &*traceFile;
    }

    const std::vector<RunReport> reports = FlashAll(*firmware, job, output);
    std::vector<int> statuses;
    for (const RunReport& report : reports)
        statuses.push_back(report.exitStatus);
    if (reports.size() > 1)
        output.Err(SummaryTable(reports));
    return GangExitStatus(statuses);
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
