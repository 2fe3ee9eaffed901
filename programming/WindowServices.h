// What a programming run needs from whatever shows it.
#pragma once

#include "MessageText.h"

#include <string>

// What a programming run needs from whatever shows it: the window, the command-line tool
// or a test. Texts are UTF-8; in messages "\n\r" stands for one line break.
class WindowServices {
public:
    virtual ~WindowServices() = default;

    virtual void SetStatus(const std::string& text) = 0;
    virtual void SetProgress(int percent) = 0;
    // Modal: returns when the user has dismissed it.
    virtual void ShowMessage(const std::string& text) = 0;
    // Processes what is pending and returns at once.
    virtual void ProcessMessages() = 0;
    // One 250 ms pacing period, staying responsive meanwhile.
    virtual void WaitForPacingTimer() = 0;
    virtual void Beep() = 0;

    // A port that could not be opened or set up. The command-line tool overrides this; the
    // window shows the message, and below it the reason.
    virtual void ShowPortError(const std::string& text, const PortError& detail) {
        const std::string reason = PortReason(detail, PortReasonFor::Window);
        ShowMessage(reason.empty() ? text : text + "\n\r" + reason);
    }

    // The exchange that ended a failed run, for tools that show it; the window does not.
    virtual void ShowFailedExchange(const FailedExchange&) {}
};
