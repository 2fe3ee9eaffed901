#pragma once

#include "Programmer.h"
#include "WindowServices.h"

#include <chrono>
#include <optional>
#include <string>

// The window's services on a console: status texts on stdout, one per line and nothing else;
// messages on stderr; a progress bar on stderr when it is a terminal.
class ConsoleServices : public WindowServices {
public:
    // A search timeout of 0, NaN or beyond what the clock can count means no limit.
    ConsoleServices(bool showProgress, double searchTimeoutSeconds);

    void Attach(Programmer& run) { run_ = &run; }
    bool SearchTimedOut() const { return searchTimedOut_; }

    void SetStatus(const std::string& text) override;
    void SetProgress(int percent) override;
    void ShowMessage(const std::string& text) override;
    void ProcessMessages() override;
    void WaitForPacingTimer() override;
    void Beep() override;
    void ShowPortError(const std::string& text, const PortError& detail) override;

private:
    void EndProgressLine();

    bool showProgress_;
    double searchTimeout_;
    Programmer* run_ = nullptr;
    bool searching_ = false;
    bool searchTimedOut_ = false;
    bool progressShown_ = false;
    int shownPercent_ = 0;
    std::optional<std::chrono::steady_clock::time_point> searchDeadline_;
};
