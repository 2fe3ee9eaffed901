// The tool's output in whole lines, with progress lines redrawn in place.
#include "ConsoleOutput.h"

#include <algorithm>

namespace {
constexpr auto redrawPeriod = std::chrono::milliseconds(100);
// Lines of the block are cut by the terminal instead of wrapping, which would throw the count
// of lines to move back over.
const char* const noWrap = "\x1b[?7l";
const char* const wrap = "\x1b[?7h";
} // namespace

ConsoleOutput::ConsoleOutput(std::FILE* out, std::FILE* err, size_t progressLines)
    : out_(out), err_(err), progress_(progressLines) {}

ConsoleOutput::~ConsoleOutput() {
    const std::lock_guard<std::mutex> lock(mutex_);
    Erase();
}

void ConsoleOutput::Write(std::FILE* stream, const std::string& text) {
    // A closed or broken stream is no reason to stop a run: errors are ignored.
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

void ConsoleOutput::Erase() {
    if (shownLines_ == 0)
        return;
    // From column 0: the terminal's echo of Ctrl-C ("^C") has moved the cursor along the line
    // below the block, and the erase would keep what stands left of it.
    Write(err_, "\r\x1b[" + std::to_string(shownLines_) + "A\x1b[J");
    shownLines_ = 0;
}

void ConsoleOutput::Draw() {
    std::string block;
    size_t lines = 0;
    for (const std::string& line : progress_) {
        if (line.empty())
            continue;
        block += line + "\n";
        ++lines;
    }
    if (lines > 0)
        Write(err_, noWrap + block + wrap);
    shownLines_ = lines;
    lastDraw_ = Now();
}

void ConsoleOutput::Lines(std::FILE* stream, const std::string& lines) {
    const std::lock_guard<std::mutex> lock(mutex_);
    const bool block = shownLines_ > 0;
    Erase();
    Write(stream, lines);
    if (block)
        Draw();
}

void ConsoleOutput::Out(const std::string& lines) {
    Lines(out_, lines);
}

void ConsoleOutput::Err(const std::string& lines) {
    Lines(err_, lines);
}

void ConsoleOutput::Bell() {
    const std::lock_guard<std::mutex> lock(mutex_);
    Write(err_, "\a");
}

void ConsoleOutput::Progress(size_t slot, const std::string& line, bool now) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (slot >= progress_.size() || progress_[slot] == line)
        return;
    progress_[slot] = line;
    if (!now && Now() - lastDraw_ < redrawPeriod)
        return;
    Erase();
    Draw();
}

bool ConsoleOutput::First(const std::string& what) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (std::find(firsts_.begin(), firsts_.end(), what) != firsts_.end())
        return false;
    firsts_.push_back(what);
    return true;
}
