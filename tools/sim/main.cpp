// morvik2-sim: a simulated Morvik 2 on a pseudo-terminal, for tests, demos and benchmarks.
#include "PtyDevice.h"
#include "UsageText.h"
#include "Version.h"

#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace {

PtyDevice* running = nullptr;

constexpr int exitUsage = 64;

// CLI11's own checks complain in English.
CLI::Validator WholeNumberFromZero() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            int number = 0;
            if (CLI::detail::lexical_cast(text, number) && number >= 0)
                return {};
            return "\"" + text + "\" ist keine ganze Zahl ab 0";
        },
        "");
}

CLI::Validator FaultText() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            try {
                Fault::Parse(text);
                return {};
            } catch (const std::exception&) { // an N too large for an int, too
                return "\"" + text +
                       "\" ist keiner von silent@N, wrong@N, short@N, hangup@N, end-silent, "
                       "end-wrong";
            }
        },
        "");
}

void OnSignal(int) {
    if (running)
        running->Stop();
}

// A stale link from an earlier run is replaced; anything else at the path is left alone.
bool MakeLink(const std::string& link, const std::string& target) {
    struct stat info {};
    if (lstat(link.c_str(), &info) == 0) {
        if (!S_ISLNK(info.st_mode)) {
            std::fprintf(stderr, "morvik2-sim: %s exists and is not a symbolic link\n",
                         link.c_str());
            return false;
        }
        unlink(link.c_str());
    }
    if (symlink(target.c_str(), link.c_str()) != 0) {
        std::perror(link.c_str());
        return false;
    }
    return true;
}

// Every option into `options`, `link` and `fault`.
void AddOptions(CLI::App& app, DeviceOptions& options, std::string& link, std::string& fault) {
    GermanHelp(app);
    app.name("morvik2-sim");
    app.set_version_flag("--version", std::string("morvik2-sim ") + ProgramVersion,
                         "Version zeigen und beenden");
    app.add_option("--link", link,
                   "PFAD als symbolischen Link auf das Pseudo-Terminal anlegen: ein fester Name "
                   "für MV2.ini oder --port")
        ->type_name("PFAD");
    app.add_option("--image", options.imagePath,
                   "Nach jedem Ende-Befehl das Empfangene als Intel-HEX-Datei schreiben")
        ->type_name("DATEI");
    app.add_option("--power-on-after", options.powerOnAfter,
                   "Die ersten ANZAHL Sync-Bytes überhören, wie ein noch ausgeschaltetes Gerät")
        ->type_name("ANZAHL")
        ->check(WholeNumberFromZero());
    app.add_option("--baud", options.baud,
                   "Beide Richtungen im Takt einer echten Leitung mit BAUD (0 = ungebremst)")
        ->type_name("BAUD")
        ->check(WholeNumberFromZero());
    app.add_option("--fault", fault,
                   "Ein Fehler mit Absicht: silent@N, wrong@N, short@N (Rahmen N ohne, mit "
                   "falscher, mit zu kurzer Antwort), hangup@N (Adapter bei Rahmen N gezogen), "
                   "end-silent, end-wrong (Ende-Befehl ohne, mit falscher Antwort)")
        ->type_name("FEHLER")
        ->check(FaultText());
    app.add_option("--reply-delay-ms", options.replyDelayMs, "Jede Antwort um MS verzögern")
        ->type_name("MS")
        ->check(WholeNumberFromZero());
    app.add_flag("--once", options.once, "Nach dem ersten Ende-Befehl beenden");
    app.add_flag("--log", options.log, "Eine Zeile auf stderr je Rahmen und Ende-Befehl");
}

// The device on its pseudo-terminal until a signal or --once ends it; the exit status.
int Simulate(const DeviceOptions& options, const std::string& link) {
    try {
        PtyDevice device(options);
        if (!link.empty() && !MakeLink(link, device.SlavePath()))
            return 1;
        running = &device;
        struct sigaction action {};
        action.sa_handler = OnSignal;
        sigaction(SIGINT, &action, nullptr);
        sigaction(SIGTERM, &action, nullptr);
        std::printf("%s\n", device.SlavePath().c_str());
        std::fflush(stdout);

        device.Run();

        running = nullptr;
        if (!link.empty())
            unlink(link.c_str());
        Bootloader state = device.Snapshot();
        std::fprintf(stderr,
                     "morvik2-sim: %d sync bytes, %d frames (%d with a bad checksum), %d end "
                     "commands%s\n",
                     state.Syncs(), state.Frames(), state.BadChecksumFrames(), state.EndCommands(),
                     device.HungUp() ? ", unplugged" : "");
    } catch (const std::exception& error) {
        std::fprintf(stderr, "morvik2-sim: %s\n", error.what());
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    DeviceOptions options;
    std::string link, fault;
    CLI::App app{"Ein simulierter Morvik 2 (sein Bootloader) an einem Pseudo-Terminal, um "
                 "morvik2-flash und morvik2-update ohne Gerät zu erproben. Zeigt zuerst den Pfad "
                 "des Pseudo-Terminals."};
    AddOptions(app, options, link, fault);
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& success) { // --help, --version
        return app.exit(success);
    } catch (const CLI::ParseError& error) {
        std::fprintf(stderr, "%s\nAlle Angaben: morvik2-sim --help\n",
                     GermanUsageError(error).c_str());
        return exitUsage;
    }
    if (!fault.empty())
        options.fault = Fault::Parse(fault);

    return Simulate(options, link);
}
