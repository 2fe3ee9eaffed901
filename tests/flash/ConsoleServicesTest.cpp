// The command-line tool's console: what it draws.
#include "ConsoleServices.h"
#include "TempDir.h"

#include <cstdio>
#include <gtest/gtest.h>
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
    ConsoleServices console(true);
    Captured err(stderr);
    console.SetProgress(-20);
    console.SetProgress(50);
    console.SetProgress(150);
    console.SetProgress(-20);
    const std::string half = std::string(20, '#') + std::string(20, '.');
    EXPECT_EQ(err.Text(), "\r[" + half + "]  50 %" + "\r[" + std::string(40, '#') + "] 100 %" +
                              "\r[" + std::string(40, '.') + "]   0 %");
}

} // namespace
