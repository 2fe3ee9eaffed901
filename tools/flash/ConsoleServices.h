#pragma once

#include "Programmer.h"
#include "WindowServices.h"

#include <string>

// The window's services on a console: status texts on stdout, one per line and nothing else;
// messages on stderr; a progress bar on stderr when it is a terminal.
class ConsoleServices : public WindowServices {
public:
    explicit ConsoleServices(bool showProgress);

    // The run that Ctrl-C and SIGTERM stop.
    void Attach(Programmer& run) { run_ = &run; }

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
    Programmer* run_ = nullptr;
    bool progressShown_ = false;
    int shownPercent_ = 0;
};
