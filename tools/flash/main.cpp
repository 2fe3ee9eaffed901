// morvik2-flash: programs a Morvik 2 from the command line, for scripts and production lines;
// several at once when given several ports.
#include "Console.h"
#include "ConsoleOutput.h"
#include "FirmwareFile.h"
#include "FlashOptions.h"
#include "FlashPlan.h"
#include "FlashRuns.h"
#include "MessageText.h"
#include "PortListing.h"
#include "PortSettings.h"
#include "ProfileFile.h"
#include "SerialPortList.h"
#include "UsageText.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

namespace {

int Show(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    return ExitOk;
}

int Refuse(const FlashRefusal& refusal) {
    if (refusal.exitStatus == ExitUsage)
        std::fprintf(stderr, "%s\n%s\n", refusal.message.c_str(), UsageHint);
    else
        std::fprintf(stderr, "%s\n", refusal.message.c_str());
    return refusal.exitStatus;
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

std::unique_ptr<AppendFile> OpenAppendFile(const std::string& path, const char* what) {
    Result<std::unique_ptr<AppendFile>> file = AppendFile::Open(path);
    if (!file) {
        std::fprintf(stderr, "%s kann nicht geöffnet werden!\n%s: %s\n", what, path.c_str(),
                     file.Problem().c_str());
        return nullptr;
    }
    return std::move(*file);
}

// What a run reads and writes besides its port, opened and read before the first port is.
struct Loaded {
    std::unique_ptr<AppendFile> log, trace;
    std::optional<FirmwareFile> firmware;
};

// Nothing, with the reason on stderr, where a file cannot be opened or the firmware is refused.
std::optional<Loaded> Load(const FlashOptions& options) {
    Loaded loaded;
    if (options.logPath && !(loaded.log = OpenAppendFile(*options.logPath, "Das Run-Log")))
        return std::nullopt;
    if (options.tracePath &&
        !(loaded.trace = OpenAppendFile(*options.tracePath, "Die Aufzeichnung")))
        return std::nullopt;
    InstallStopSignals();
    try {
        loaded.firmware = FirmwareFile::Load(options.file);
    } catch (const FirmwareFileError& error) {
        std::fprintf(stderr, "%s\n", ExceptionText(error.what()).c_str());
        return std::nullopt;
    }
    return std::optional<Loaded>(std::move(loaded));
}

FlashJob MakeJob(const FlashOptions& options, const FlashPlan& plan, const Loaded& loaded) {
    FlashJob job;
    job.runs = plan.runs;
    if (options.searchTimeout > 0) // at most a day: far from what milliseconds can count
        job.searchTimeout = std::chrono::milliseconds(
            static_cast<long long>(std::ceil(options.searchTimeout * 1000)));
    job.progress = !options.quiet && EnableCursorMovement(stderr);
    job.json = options.json;
    job.verbose = options.verbose;
    job.log = loaded.log.get();
    job.logContext = {HostName(), std::filesystem::u8path(options.file).filename().u8string(),
                      loaded.firmware->Sha256()};
    return job;
}

int FlashPorts(const FlashOptions& options, const FlashPlan& plan, const Loaded& loaded) {
    FlashJob job = MakeJob(options, plan, loaded);
    ConsoleOutput output(stdout, stderr, job.progress ? job.runs.size() : 0);
    std::optional<TraceFile> traceFile;
    if (loaded.trace) {
        traceFile.emplace(*loaded.trace, output);
        traceFile->Line("", FlashVersion() + " " + IsoLocalTime(std::chrono::system_clock::now()) +
                                " " + job.logContext.host + ", Firmware " +
                                Printable(options.file) + ", SHA-256 " + loaded.firmware->Sha256());
        job.trace = &*traceFile;
    }
    const std::vector<RunReport> reports = FlashAll(*loaded.firmware, job, output);
    std::vector<int> statuses;
    for (const RunReport& report : reports)
        statuses.push_back(report.exitStatus);
    if (reports.size() > 1)
        output.Err(SummaryTable(reports));
    return GangExitStatus(statuses);
}

// Parse, check, load, run.
int Run(const std::vector<std::string>& arguments) {
    const FlashCommandLine line = ParseFlashCommandLine(arguments);
    if (line.action == FlashCommandLine::Action::Show)
        return Show(line.shown);
    if (line.action == FlashCommandLine::Action::Refuse)
        return Refuse(line.refusal);
    // Without a working directory only the per-user settings file is read.
    const SettingsFiles settings = FindSettingsFiles();
    if (line.action == FlashCommandLine::Action::ListPorts)
        return ListPorts(PortsFileForGivenNames(settings), line.options.json);
    const char* environment = std::getenv(PortVariable);
    const FlashPlan plan = CheckFlashCommand(line.options, environment ? environment : "", settings,
                                             [] { return EnumerateSerialPorts(); });
    if (plan.refusal)
        return Refuse(*plan.refusal);
    const std::optional<Loaded> loaded = Load(line.options);
    if (!loaded)
        return ExitFile;
    return FlashPorts(line.options, plan, *loaded);
}

} // namespace

int main(int argc, char** argv) {
    PrepareConsole(); // before anything else may open a descriptor
    // Nothing leaves main: the run's objects are unwound (the port restored and released)
    // before the process ends with a message and an exit status.
    try {
        return Run(CommandLineArguments(argc, argv));
    } catch (const std::filesystem::filesystem_error& error) {
        std::fprintf(stderr, "%s\n",
                     FileProblem("Auf eine Datei kann nicht zugegriffen werden!",
                                 error.path1().u8string(), error.code())
                         .c_str());
        return ExitFile;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", ExceptionText(error.what()).c_str());
        return ExitWriteError;
    } catch (...) {
        std::fprintf(stderr, "Unbekannter Fehler.\n");
        return ExitWriteError;
    }
}
