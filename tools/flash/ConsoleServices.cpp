// A run shown on the console: status lines, progress, events and messages.
#include "ConsoleServices.h"

#include "Console.h"
#include "Events.h"
#include "MessageText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <thread>

namespace {

constexpr auto eventPeriod = std::chrono::milliseconds(100);
constexpr int barWidth = 30;
// The rate is shown once it means something.
constexpr double rateAfterSeconds = 0.5;

std::string MinutesAndSeconds(double seconds) {
    const long long whole = static_cast<long long>(std::ceil(seconds));
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
    return text;
}

} // namespace

std::string Decimal(double value, int places) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", places, value);
    std::string result = text;
    std::replace(result.begin(), result.end(), '.', ',');
    return result;
}

std::string ProgressText(int percent, uint64_t bytes, uint64_t totalBytes,
                         std::chrono::duration<double> writing) {
    percent = std::clamp(percent, 0, 100);
    std::string bar(size_t(percent * barWidth / 100), '#');
    bar.resize(barWidth, '.');
    char head[96];
    std::snprintf(head, sizeof head, "[%s] %3d %%", bar.c_str(), percent);
    std::string text = head;
    if (totalBytes == 0)
        return text;
    text += "  " + std::to_string(bytes) + "/" + std::to_string(totalBytes) + " Bytes";
    const double seconds = writing.count();
    if (seconds >= rateAfterSeconds && bytes > 0 && bytes <= totalBytes) {
        const double rate = bytes / seconds;
        text += "  " + Decimal(rate / 1024, 1) + " KiB/s  noch " +
                MinutesAndSeconds(double(totalBytes - bytes) / rate);
    }
    return text;
}

ConsoleServices::ConsoleServices(ConsoleOutput& output, size_t slot, ConsoleStyle style)
    : output_(output), slot_(slot), style_(std::move(style)) {}

void ConsoleServices::Attach(Programmer& run, uint64_t totalBytes) {
    run_ = &run;
    totalBytes_ = totalBytes;
}

std::string ConsoleServices::Lines(const std::string& text) const {
    std::string lines;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t end = std::min(text.find('\n', start), text.size());
        lines += style_.label + text.substr(start, end - start) + "\n";
        start = end + 1;
    }
    return lines;
}

void ConsoleServices::Event(const std::string& json) {
    output_.Out(json + "\n");
}

void ConsoleServices::SetStatus(const std::string& text) {
    lastStatus_ = text;
    if (style_.json)
        Event(StatusEvent(style_.port, text));
    else
        output_.Out(Lines(text));
    if (text == StatusText::Writing)
        writingSince_ = Now();
    if (!style_.progress)
        return;
    output_.Progress(slot_, style_.label + text, true);
    if (text == StatusText::Searching && output_.First(text))
        output_.Err("Morvik 2 jetzt einschalten.\n");
}

std::string ConsoleServices::ProgressLine(int percent) {
    const uint64_t bytes = run_ ? run_->BytesSent() : 0;
    return style_.label + ProgressText(percent, bytes, totalBytes_, Now() - writingSince_);
}

void ConsoleServices::SetProgress(int percent) {
    // Only changes are news; the run starts every pass at 0.
    percent = std::clamp(percent, 0, 100);
    if (percent == shownPercent_)
        return;
    shownPercent_ = percent;
    if (style_.progress)
        output_.Progress(slot_, ProgressLine(percent), false);
    if (style_.json && (!lastEvent_ || Now() - *lastEvent_ >= eventPeriod || percent == 100)) {
        lastEvent_ = Now();
        Event(ProgressEvent(style_.port, percent, run_ ? run_->RecordsSent() : 0,
                            run_ ? run_->BytesSent() : 0, totalBytes_));
    }
}

void ConsoleServices::ShowMessage(const std::string& text) {
    const std::string shown = DisplayText(text);
    messages_.push_back(shown);
    output_.Err(Lines(shown));
    if (style_.json)
        Event(MessageEvent(style_.port, shown));
}

void ConsoleServices::ShowPortError(const std::string& text, const PortError& detail) {
    ShowMessage(DisplayText(text) + "\n" + detail.devicePath + ": " +
                PortReason(detail, PortReasonFor::CommandLine));
}

void ConsoleServices::ShowFailedExchange(const FailedExchange& failed) {
    if (style_.verbose)
        ShowMessage(FailedExchangeText(failed));
}

void ConsoleServices::ProcessMessages() {
    if (!run_)
        return;
    // Ctrl-C and SIGTERM are this console's stop button, for every run at once.
    if (StopSignalCount() > 0)
        run_->StopRequested = true;
}

void ConsoleServices::WaitForPacingTimer() {
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    ProcessMessages();
}

void ConsoleServices::Beep() {
    if (style_.progress)
        output_.Bell();
}

void ConsoleServices::Finish(const std::string& result, int exitStatus, double seconds) {
    const uint64_t records = run_ ? run_->RecordsSent() : 0;
    const uint64_t bytes = run_ ? run_->BytesSent() : 0;
    if (style_.progress) {
        output_.Progress(slot_, "", true);
        output_.Err(Lines(std::to_string(records) + " Datensätze, " + std::to_string(bytes) +
                          " Bytes, " + Decimal(seconds, 1) + " s"));
    }
    if (style_.json)
        Event(ResultEvent(style_.port, result, exitStatus, records, bytes, seconds, messages_));
}
