#include "ConsoleServices.h"

#include "Console.h"
#include "MessageText.h"

#include <algorithm>
#include <cstdio>
#include <thread>

ConsoleServices::ConsoleServices(bool showProgress) : showProgress_(showProgress) {}

void ConsoleServices::EndProgressLine() {
    if (progressShown_)
        std::fputc('\n', stderr);
    progressShown_ = false;
}

void ConsoleServices::SetStatus(const std::string& text) {
    EndProgressLine();
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
}

void ConsoleServices::SetProgress(int percent) {
    // Redrawn only on a change; the run starts every pass at 0 without news for the user.
    percent = std::clamp(percent, 0, 100);
    if (!showProgress_ || percent == shownPercent_)
        return;
    shownPercent_ = percent;
    const int width = 40;
    std::string bar(size_t(percent * width / 100), '#');
    bar.resize(width, '.');
    std::fprintf(stderr, "\r[%s] %3d %%", bar.c_str(), percent);
    std::fflush(stderr);
    progressShown_ = true;
}

void ConsoleServices::ShowMessage(const std::string& text) {
    EndProgressLine();
    std::fprintf(stderr, "%s\n", DisplayText(text).c_str());
    std::fflush(stderr);
}

void ConsoleServices::ShowPortError(const std::string& text, const PortError& detail) {
    ShowMessage(text);
    std::fprintf(stderr, "%s: %s\n", detail.devicePath.c_str(), detail.reason.c_str());
    if (const char* hint = PermissionHint(detail.osError))
        std::fprintf(stderr, "%s\n", hint);
}

void ConsoleServices::ProcessMessages() {
    if (!run_)
        return;
    // Ctrl-C and SIGTERM are this console's stop button.
    if (StopSignalCount() > 0)
        run_->StopRequested = true;
}

void ConsoleServices::WaitForPacingTimer() {
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    ProcessMessages();
}

void ConsoleServices::Beep() {
    if (showProgress_) {
        std::fputc('\a', stderr);
        std::fflush(stderr);
    }
}
