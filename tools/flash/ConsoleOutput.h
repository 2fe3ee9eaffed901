// The command-line tool's stdout and stderr, shared by the runs of a gang.
#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

// The tool's stdout and stderr, shared by every run of a gang. Text goes out in whole lines
// under one lock, so that runs printing at the same moment never cut into each other's lines.
// On a terminal, a block of progress lines, one per run, stays below everything else on stderr
// and is redrawn in place.
class ConsoleOutput {
public:
    using Clock = std::chrono::steady_clock;

    // `progressLines`: how many runs show progress on stderr, which must then be a terminal
    // that moves its cursor; 0 for none.
    ConsoleOutput(std::FILE* out, std::FILE* err, size_t progressLines);
    ~ConsoleOutput();
    ConsoleOutput(const ConsoleOutput&) = delete;
    ConsoleOutput& operator=(const ConsoleOutput&) = delete;

    // Whole lines, each ending in '\n'.
    void Out(const std::string& lines);
    void Err(const std::string& lines);
    void Bell();
    // Run `slot`'s progress line: redrawn at once when `now`, otherwise at most ten times a
    // second; an empty line takes the run out of the block.
    void Progress(size_t slot, const std::string& line, bool now);
    // True for the first caller only: a hint that would read the same from every run.
    bool First(const std::string& what);

    // The clock the redraws are paced by; tests put a simulated one here.
    std::function<Clock::time_point()> Now = [] { return Clock::now(); };

private:
    void Write(std::FILE* stream, const std::string& text);
    // Above the progress block, which is drawn again below them.
    void Lines(std::FILE* stream, const std::string& lines);
    void Erase();
    void Draw();

    std::mutex mutex_;
    std::FILE* out_;
    std::FILE* err_;
    std::vector<std::string> progress_;
    size_t shownLines_ = 0;
    Clock::time_point lastDraw_{};
    std::vector<std::string> firsts_;
};
