// The command-line tool's console: what it prints and when it ends the search.
#include "ConsoleServices.h"
#include "Fakes.h"
#include "TempDir.h"

#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>
#include <limits>
#include <thread>
#include <unistd.h>

namespace {

// Everything written to `stream` while it exists goes into a file instead.
class Captured {
public:
    explicit Captured(std::FILE* stream) : stream_(stream), fd_(fileno(stream)) {
        std::fflush(stream_);
        saved_ = dup(fd_);
        std::FILE* file = std::freopen(dir_.Path("captured").c_str(), "w", stream_);
        EXPECT_NE(file, nullptr);
    }
    ~Captured() {
        std::fflush(stream_);
        dup2(saved_, fd_);
        close(saved_);
    }
    std::string Text() {
        std::fflush(stream_);
        return dir_.Read("captured");
    }

private:
    TempDir dir_;
    std::FILE* stream_;
    int fd_;
    int saved_ = -1;
};

TEST(ConsoleServices, ProgressOutsideZeroToHundredDrawsAnEmptyOrFullBar) {
    ConsoleServices console(true, 0);
    Captured err(stderr);
    console.SetProgress(-20);
    console.SetProgress(50);
    console.SetProgress(150);
    console.SetProgress(-20);
    const std::string half = std::string(20, '#') + std::string(20, '.');
    EXPECT_EQ(err.Text(), "\r[" + half + "]  50 %" + "\r[" + std::string(40, '#') + "] 100 %" +
                              "\r[" + std::string(40, '.') + "]   0 %");
}

// The search ends on its own only for a time the clock can count; what is beyond it, or no
// number at all, waits until the user stops it.
TEST(ConsoleServices, SearchTimeoutBeyondTheClockNeverEndsTheSearch) {
    const double infinity = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EventLog log;
    FakeSerialPort port(log);
    for (double seconds : {0.0, nan, 9.3e9, 1e300, infinity, 0.01}) {
        SCOPED_TRACE(seconds);
        ConsoleServices console(false, seconds);
        Programmer run(console, port);
        console.Attach(run);
        {
            Captured out(stdout); // gtest reports there
            console.SetStatus("Suche nach Morvik 2.");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        console.ProcessMessages();
        const bool expired = seconds == 0.01;
        EXPECT_EQ(run.StopRequested, expired);
        EXPECT_EQ(console.SearchTimedOut(), expired);
    }
}

} // namespace
