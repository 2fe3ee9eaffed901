// The runs of the command-line tool, one per port, with their log and trace.
#include "FlashRuns.h"

#include "ConsoleServices.h"
#include "MessageText.h"
#include "TracingSerialPort.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <system_error>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// Columns of the summary table count characters, not the bytes of their UTF-8.
size_t Width(const std::string& text) {
    return size_t(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

std::string Padded(const std::string& text, size_t width, bool right = false) {
    const std::string pad(width > Width(text) ? width - Width(text) : 0, ' ');
    return right ? pad + text : text + pad;
}

std::string FirstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

// The run's result into the trace and its line into the run log, where the job has them.
void Record(const FlashJob& job, const RunReport& report, const std::string& label,
            ConsoleOutput& output) {
    if (job.trace)
        job.trace->Line(report.port, "Ergebnis: " + report.result + " (Exit-Status " +
                                         std::to_string(report.exitStatus) + ")");
    if (job.log) {
        const std::string entry =
            LogEntry(report, job.logContext, IsoLocalTime(std::chrono::system_clock::now()));
        if (const std::optional<std::string> problem = job.log->Append(entry + "\n"))
            output.Err(label + "Der Eintrag im Run-Log konnte nicht geschrieben werden: " +
                       *problem + "\n");
    }
}

RunReport FlashOne(const FirmwareFile& firmware, const FlashJob& job, size_t index,
                   ConsoleOutput& output) {
    RunReport report;
    const PortRun& given = job.runs[index];
    report.port = given.port;
    const bool gang = job.runs.size() > 1;
    const std::string label = gang ? "[" + Printable(report.port) + "] " : "";
    ConsoleServices console(output, index,
                            {report.port, label, job.progress, job.json, job.verbose});
    const std::unique_ptr<SerialPort> serial = CreateConsoleSerialPort();
    std::optional<TracingSerialPort> traced;
    if (job.trace)
        traced.emplace(*serial, [&job, &report](const std::string& line) {
            job.trace->Line(report.port, line);
        });
    SerialPort& port = traced ? static_cast<SerialPort&>(*traced) : *serial;

    const Clock::time_point start = Clock::now();
    {
        Programmer run(console, port);
        run.SearchTimeout = job.searchTimeout;
        console.Attach(run, firmware.DataBytes());
        // A Ctrl-C while the file was read: no reset pulse, the unit stays as it was.
        const bool stoppedBeforeOpen = job.stopRequested();
        const std::string& noDevice = given.noDevice;
        try {
            if (stoppedBeforeOpen)
                console.ShowMessage(StoppedBeforeOpen);
            else if (!noDevice.empty())
                console.ShowMessage(noDevice);
            else
                run.Programing(firmware, given.path);
        } catch (const std::exception& error) {
            // The run has released its port; this device's run ends here, the others go on.
            console.ShowMessage(ExceptionText(error.what()));
        }
        // Set apart from a user's stop, which reads "Suche abgebrochen." too.
        if (run.LastOutcome() == RunOutcome::SearchTimedOut && job.searchTimeout)
            console.ShowMessage(NoAnswerMessage(*job.searchTimeout));

        report.exitStatus = stoppedBeforeOpen   ? ExitStopped
                            : !noDevice.empty() ? ExitPort
                                                : ExitStatusFor(run.LastOutcome());
        report.records = run.RecordsSent();
        report.bytes = run.BytesSent();
        report.seconds = std::chrono::duration<double>(Clock::now() - start).count();
        report.messages = console.Messages();
        report.result = !console.LastStatus().empty() ? console.LastStatus()
                        : report.messages.empty()     ? std::string()
                                                      : FirstLine(report.messages.front());
        report.devicePath = serial->LastError().devicePath;
        console.Finish(report.result, report.exitStatus, report.seconds);
    }

    Record(job, report, label, output);
    return report;
}

} // namespace

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

int GangExitStatus(const std::vector<int>& statuses) {
    for (int status : {ExitPort, ExitWriteError, ExitSearchTimeout, ExitStopped})
        if (std::find(statuses.begin(), statuses.end(), status) != statuses.end())
            return status;
    for (int status : statuses)
        if (status != ExitOk)
            return status;
    return ExitOk;
}

std::string NoAnswerMessage(std::chrono::milliseconds searchTimeout) {
    const long long ms = searchTimeout.count();
    std::string seconds = std::to_string(ms / 1000);
    if (ms % 1000 != 0) {
        char fraction[8];
        std::snprintf(fraction, sizeof fraction, ",%03lld", ms % 1000);
        seconds += fraction;
        seconds.erase(seconds.find_last_not_of('0') + 1);
    }
    return "Keine Antwort vom Morvik 2 innerhalb von " + seconds + " s.";
}

TraceFile::TraceFile(AppendFile& file, ConsoleOutput& output) : file_(file), output_(output) {}

void TraceFile::Line(const std::string& port, const std::string& text) {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    char time[32];
    std::snprintf(time, sizeof time, "%13.6f", seconds);
    const std::lock_guard<std::mutex> lock(mutex_);
    if (failed_)
        return;
    const std::string line =
        std::string(time) + (port.empty() ? "" : " [" + Printable(port) + "]") + " " + text + "\n";
    if (const std::optional<std::string> problem = file_.Append(line)) {
        failed_ = true;
        output_.Err("Die Aufzeichnung (--trace) konnte nicht geschrieben werden: " + *problem +
                    "\n");
    }
}

std::vector<RunReport> FlashAll(const FirmwareFile& firmware, const FlashJob& job,
                                ConsoleOutput& output) {
    std::vector<RunReport> reports(job.runs.size());
    std::vector<std::thread> threads;
    for (size_t i = 0; i < job.runs.size(); ++i) {
        auto flash = [&, i] {
            try {
                reports[i] = FlashOne(firmware, job, i, output);
            } catch (const std::exception& error) {
                // Out of memory and the like: this run is over, its port released on the way.
                reports[i].port = job.runs[i].port;
                reports[i].result = ExceptionText(error.what());
                reports[i].exitStatus = ExitWriteError;
                output.Err(reports[i].result + "\n");
            }
        };
        try {
            threads.emplace_back(flash);
        } catch (const std::system_error&) {
            flash(); // no thread to be had: this device is programmed from here instead
        }
    }
    for (std::thread& thread : threads)
        thread.join();
    return reports;
}

std::string SummaryTable(const std::vector<RunReport>& runs) {
    const std::vector<std::string> heads = {"Port", "Ergebnis", "Datensätze", "Sekunden"};
    std::vector<std::vector<std::string>> rows = {heads};
    for (const RunReport& run : runs)
        rows.push_back({Printable(run.port), run.result, std::to_string(run.records),
                        Decimal(run.seconds, 1)});
    std::vector<size_t> widths(heads.size(), 0);
    for (const auto& row : rows)
        for (size_t c = 0; c < row.size(); ++c)
            widths[c] = std::max(widths[c], Width(row[c]));
    std::string table;
    for (const auto& row : rows) {
        std::string line;
        for (size_t c = 0; c < row.size(); ++c) {
            const bool number = c >= 2;
            line += (c ? "  " : "") + Padded(row[c], widths[c], number);
        }
        line.erase(line.find_last_not_of(' ') + 1);
        table += line + "\n";
    }
    return table;
}
