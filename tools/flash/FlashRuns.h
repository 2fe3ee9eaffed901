// The command-line tool's runs, their reports and exit statuses.
#pragma once

#include "Console.h"
#include "ConsoleOutput.h"
#include "Events.h"
#include "FirmwareFile.h"
#include "PortListing.h"
#include "Programmer.h"

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// The command-line tool's exit statuses.
enum ExitStatus {
    ExitOk = 0,
    ExitWriteError = 1,
    ExitStopped = 2,
    ExitPort = 3,
    ExitFile = 4,
    ExitSearchTimeout = 5,
    ExitUsage = 64,
};

// The most ports one command programs at once.
constexpr size_t MaxGangPorts = 16;

int ExitStatusFor(RunOutcome outcome);
// A gang's status: 0 when every device succeeded, otherwise the first of 3, 1, 5, 2 that any
// device ended with: what most needs a person's hand (a port) before what a rerun may cure.
int GangExitStatus(const std::vector<int>& statuses);

// "Keine Antwort vom Morvik 2 innerhalb von 2,5 s."
std::string NoAnswerMessage(std::chrono::milliseconds searchTimeout);

// The wire trace of --trace: every line with microseconds since the trace began and the port,
// one write each, into a file shared by all runs. A trace that cannot be written says so once
// on stderr and stops.
class TraceFile {
public:
    TraceFile(AppendFile& file, ConsoleOutput& output);
    // `port` empty: a line about the whole command.
    void Line(const std::string& port, const std::string& text);

private:
    AppendFile& file_;
    ConsoleOutput& output_;
    std::mutex mutex_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    bool failed_ = false;
};

// Everything the runs of one command share.
struct FlashJob {
    // One a device. A run without one (noDevice) says why instead and ends with ExitPort.
    std::vector<PortRun> runs;
    std::optional<std::chrono::milliseconds> searchTimeout;
    bool progress = false; // stderr is a terminal that moves its cursor, and no --quiet
    bool json = false;
    bool verbose = false;
    AppendFile* log = nullptr;
    TraceFile* trace = nullptr;
    LogContext logContext;
    // Whether the user has asked to stop; asked before each port is opened.
    std::function<bool()> stopRequested = [] { return StopSignalCount() > 0; };
};

// A run stopped before its port was opened: the device was not touched.
inline const std::string StoppedBeforeOpen = "Abgebrochen, bevor die Schnittstelle geöffnet wurde.";

// Programs every port of `job` at once, one thread, port and Programmer each, all from the one
// checked `firmware`. Returns each run's report, in the order of the ports.
std::vector<RunReport> FlashAll(const FirmwareFile& firmware, const FlashJob& job,
                                ConsoleOutput& output);

// The table printed after a gang: port, result, records, seconds.
std::string SummaryTable(const std::vector<RunReport>& runs);
