// WindowServices for the command-line tool.
#pragma once

#include "ConsoleOutput.h"
#include "Programmer.h"
#include "WindowServices.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// How a run shows itself on the console.
struct ConsoleStyle {
    // The port as the user named it, for the events.
    std::string port;
    // Put before each of the run's lines, as "[COM3] ", when several runs share the streams.
    std::string label;
    // On a terminal: the progress line, the hint to switch the device on, the closing line.
    bool progress = false;
    // Events as JSON objects on stdout instead of the status texts.
    bool json = false;
    // A failed run says which exchange ended it (-v).
    bool verbose = false;
};

// The window's services for one run on the console: status texts on stdout, one per line and
// nothing else; messages on stderr; on a terminal a progress line on stderr. With --json the
// status texts give way to JSON events.
class ConsoleServices : public WindowServices {
public:
    using Clock = std::chrono::steady_clock;

    ConsoleServices(ConsoleOutput& output, size_t slot, ConsoleStyle style);

    // The run that Ctrl-C and SIGTERM stop, and whose acknowledged bytes the progress counts
    // towards `totalBytes`.
    void Attach(Programmer& run, uint64_t totalBytes = 0);

    void SetStatus(const std::string& text) override;
    void SetProgress(int percent) override;
    void ShowMessage(const std::string& text) override;
    void ProcessMessages() override;
    void WaitForPacingTimer() override;
    void Beep() override;
    void ShowPortError(const std::string& text, const PortError& detail) override;
    void ShowFailedExchange(const FailedExchange& failed) override;

    // The last status text shown, or empty.
    const std::string& LastStatus() const { return lastStatus_; }
    // Every message of the run as shown, line breaks as '\n'.
    const std::vector<std::string>& Messages() const { return messages_; }
    // The run's last line on the terminal: records, bytes and seconds; and with --json its
    // result event.
    void Finish(const std::string& result, int exitStatus, double seconds);

    // The clock the progress is measured on; tests put a simulated one here.
    std::function<Clock::time_point()> Now = [] { return Clock::now(); };

private:
    std::string Lines(const std::string& text) const;
    void Event(const std::string& json);
    std::string ProgressLine(int percent);

    ConsoleOutput& output_;
    size_t slot_;
    ConsoleStyle style_;
    Programmer* run_ = nullptr;
    uint64_t totalBytes_ = 0;
    std::string lastStatus_;
    std::vector<std::string> messages_;
    int shownPercent_ = 0;
    Clock::time_point writingSince_{};
    std::optional<Clock::time_point> lastEvent_;
};

// "7,3": German decimals.
std::string Decimal(double value, int places);
// The progress line's text after the run's label: bar, percent, bytes, and once the rate is
// known, the rate and the time left.
std::string ProgressText(int percent, uint64_t bytes, uint64_t totalBytes,
                         std::chrono::duration<double> writing);
