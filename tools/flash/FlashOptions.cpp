// morvik2-flash's command line read into FlashOptions, with CLI11 speaking German.
#include "FlashOptions.h"

#include "FlashRuns.h"
#include "SerialPort.h"
#include "UsageText.h"
#include "UserFolder.h"
#include "Version.h"

#include <CLI/CLI.hpp>
#include <sstream>

namespace {

// 0 for no limit, otherwise finite seconds up to the maximum; NaN fails both comparisons.
CLI::Validator SearchTimeoutRange() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            double seconds = 0;
            if (CLI::detail::lexical_cast(text, seconds) && seconds >= 0 &&
                seconds <= MaxSearchTimeout)
                return {};
            return "\"" + text + "\" ist keine Zahl von 0 (unbegrenzt) bis " +
                   std::to_string(MaxSearchTimeout) + " Sekunden";
        },
        "");
}

// Which port a run takes without --port, as ChoosePorts has it.
std::string PortOrderHelp() {
    return std::string("Ohne --port gilt der erste Port aus:\n  ") + PortVariable +
           " (leer: nicht gesetzt)\n"
           "  Port in MV2.ini im Arbeitsverzeichnis\n"
           "  Port in MV2.ini im Benutzerordner (" +
           UserFolderRule() +
           ")\n"
           "  COM1\n"
           "Eine MV2.ini, deren Port fehlt oder keinen Port nennt, wird übergangen.\n"
           "COMn gilt nach Abschnitt [Ports] der MV2.ini, aus der er stammt; ein Port aus --port "
           "oder\n" +
           PortVariable +
           " nach der im Arbeitsverzeichnis, wenn es sie gibt, sonst der im "
           "Benutzerordner.";
}

// CLI11's application with every option of the tool, reading into `options` and the fields
// that are only looked at once the parse is through.
struct Parser {
    CLI::App app{"Schreibt neue Firmware in einen Morvik 2 (Intel-HEX-Datei über die serielle "
                 "Schnittstelle), mit mehreren Ports in ebenso viele Geräte zugleich."};
    FlashOptions options;
    std::string positionalFile, logPath, tracePath;
    bool listPorts = false;
    CLI::Option* fileOption = nullptr;
    CLI::Option* positionalOption = nullptr;
    CLI::Option* logOption = nullptr;
    CLI::Option* traceOption = nullptr;
};

// The options in the order --help lists them, up to the firmware file.
void AddPortAndFileOptions(Parser& parser) {
    CLI::App& app = parser.app;
    GermanHelp(app);
    app.name("morvik2-flash");
    app.set_version_flag("--version", FlashVersion(), "Version zeigen und beenden");
    app.add_option("-p,--port", parser.options.ports,
                   "COM1 bis COM" + std::to_string(MaxComNumber) +
                       ", ein Gerätepfad oder der USB-Adapter usb:VID:PID[:SERIENNUMMER], "
                       "usb:VID:PID:* für alle solchen; bis zu " +
                       std::to_string(MaxGangPorts) +
                       " Ports für ebenso viele Geräte zugleich; ohne --port: siehe unten")
        ->type_name("PORT")
        ->allow_extra_args(false);
    parser.fileOption = app.add_option("-f,--file", parser.options.file, "Firmware-Datei")
                            ->type_name("DATEI")
                            ->capture_default_str();
    parser.positionalOption =
        app.add_option("DATEI", parser.positionalFile, "Firmware-Datei, statt --file")
            ->type_name("");
}

// The rest, and the end of --help.
void AddRunOptions(Parser& parser) {
    CLI::App& app = parser.app;
    FlashOptions& options = parser.options;
    app.add_option("--search-timeout", options.searchTimeout,
                   "Sekunden, die auf den Morvik 2 gewartet wird: 0 = unbegrenzt, höchstens " +
                       std::to_string(MaxSearchTimeout))
        ->type_name("SEKUNDEN")
        ->check(SearchTimeoutRange())
        ->capture_default_str();
    app.add_flag("--quiet", options.quiet,
                 "Keine Fortschrittsanzeige, kein Hinweis, keine Schlusszeile");
    app.add_flag("-v,--verbose", options.verbose,
                 "Bei einem Fehlschlag eine Zeile mehr: Zeile und Adresse des Datensatzes (oder "
                 "der Endebefehl), den das Gerät nicht bestätigt hat, und seine Antwort");
    parser.logOption =
        app.add_option("--log", parser.logPath,
                       "Run-Log: hängt je Gerät eine Zeile JSON an die Datei an (Zeit, Rechner, "
                       "Port, Firmware mit SHA-256, Datensätze, Bytes, Dauer, Ergebnis)")
            ->type_name("DATEI");
    app.add_flag("--json", options.json,
                 "Ereignisse als JSON, ein Objekt je Zeile, auf stdout statt der Statustexte");
    parser.traceOption =
        app.add_option("--trace", parser.tracePath,
                       "Zeichnet jeden Rahmen und jede Antwort in hex mit Zeitstempeln auf, dazu "
                       "Steuerleitungen, Puffer löschen und Zeitgrenzen")
            ->type_name("DATEI");
    app.add_flag("--list-ports", parser.listPorts,
                 "Alle seriellen Schnittstellen zeigen (mit --json als JSON) und beenden");
    app.footer(PortOrderHelp() + "\n\n" + ExitStatusHelp);
}

FlashCommandLine Shown(const CLI::App& app, const CLI::Success& success) {
    std::ostringstream text;
    app.exit(success, text, text);
    FlashCommandLine line;
    line.action = FlashCommandLine::Action::Show;
    line.shown = text.str();
    return line;
}

FlashCommandLine Refused(const std::string& message) {
    FlashCommandLine line;
    line.action = FlashCommandLine::Action::Refuse;
    line.refusal = UsageRefusal(message);
    return line;
}

// After a parse without errors. --list-ports ends the command before the file is looked at.
FlashCommandLine Parsed(Parser& parser) {
    FlashCommandLine line;
    line.options = std::move(parser.options);
    if (parser.listPorts) {
        line.action = FlashCommandLine::Action::ListPorts;
        return line;
    }
    if (parser.positionalOption->count() > 0) {
        if (parser.fileOption->count() > 0)
            return Refused(
                "Die Firmware-Datei ist zweimal angegeben: mit --file und als Argument.");
        line.options.file = parser.positionalFile;
    }
    if (parser.logOption->count() > 0)
        line.options.logPath = parser.logPath;
    if (parser.traceOption->count() > 0)
        line.options.tracePath = parser.tracePath;
    return line;
}

} // namespace

FlashRefusal UsageRefusal(const std::string& message) {
    return {ExitUsage, message};
}

FlashCommandLine ParseFlashCommandLine(const std::vector<std::string>& arguments) {
    Parser parser;
    AddPortAndFileOptions(parser);
    AddRunOptions(parser);
    std::vector<const char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(argument.c_str());
    try {
        parser.app.parse(int(argv.size()), argv.data());
    } catch (const CLI::Success& success) {
        return Shown(parser.app, success); // --help, --version
    } catch (const CLI::ParseError& error) {
        return Refused(GermanUsageError(error));
    }
    return Parsed(parser);
}

std::string FlashVersion() {
    return std::string("morvik2-flash ") + ProgramVersion;
}

std::string FileProblem(const char* headline, const std::string& path,
                        const std::error_code& error) {
    return std::string(headline) + "\n" + path + ": " + error.message();
}
