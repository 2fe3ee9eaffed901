#pragma once

// The real programs on pseudo-terminals: morvik2-flash against morvik2-sim.
#include "IntelHex.h"
#include "Process.h"
#include "ScopeExit.h"
#include "PosixSerialPort.h"
#include "TempDir.h"

#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <string>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

using namespace std::chrono_literals;

inline const std::vector<std::string> okStatuses = {"Reset", "Suche nach Morvik 2.",
                                                    "Schreibe Daten, bitte warten!", "Alles OK !"};

// Intel HEX for `data` at address 0, written the simple way (LF, 16 bytes a record).
inline std::string HexFor(const std::string& data) {
    return IntelHex(0, std::vector<uint8_t>(data.begin(), data.end()), 16, "\n");
}

// In a shell: `mkdir gone && cd gone && rmdir "$PWD" && morvik2-flash ARGS`.
inline std::vector<std::string> InDeletedDirectory(std::vector<std::string> args) {
    std::vector<std::string> argv = {
        "/bin/sh", "-c", "mkdir gone && cd gone && rmdir \"$PWD\" && exec \"$0\" \"$@\"",
        MORVIK2_FLASH};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

class FlashEndToEnd : public ::testing::Test {
protected:
    // Random firmware of our own, `size` bytes, in fw.bin.
    std::string MakeData(size_t size) {
        std::mt19937 random(unsigned(size) * 7919u);
        std::string data(size, '\0');
        for (auto& c : data)
            c = char(random() & 0xFF);
        dir.Write("fw.bin", data);
        return data;
    }

    void StartSimulator(std::vector<std::string> options = {}) {
        sim = StartDevice("ttySIM", "image", options);
        ASSERT_TRUE(sim->WaitForOutput("/dev/")) << sim->Stderr();
    }

    // A simulated device on the link `link` that writes its image to `image`.hex.
    std::unique_ptr<Process> StartDevice(const std::string& link, const std::string& image,
                                         const std::vector<std::string>& options) {
        std::vector<std::string> argv = {
            MORVIK2_SIM, "--link", dir.Path(link), "--image", dir.Path(image + ".hex"), "--log"};
        argv.insert(argv.end(), options.begin(), options.end());
        return std::make_unique<Process>(argv, dir.Path());
    }

    std::unique_ptr<Process> Flash(std::vector<std::string> options = {}) {
        std::vector<std::string> argv = {MORVIK2_FLASH, "--port", Link()};
        argv.insert(argv.end(), options.begin(), options.end());
        return std::make_unique<Process>(argv, dir.Path());
    }

    std::string Link() const { return dir.Path("ttySIM"); }
    int SimulatorFrames() const { return int(Count(sim->Stderr(), "frame ")); }
    bool SimulatorSawEnd() const { return Count(sim->Stderr(), "end\n") > 0; }
    static size_t Count(const std::string& text, const std::string& what) {
        size_t n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
            ++n;
        return n;
    }

    // The simulator's image, through srec_cat, equals `data`.
    void ExpectImageEquals(const std::string& data, const std::string& image = "image") {
        ASSERT_EQ(std::system(("srec_cat '" + dir.Path(image + ".hex") + "' -intel -o '" +
                               dir.Path(image + ".bin") + "' -binary")
                                  .c_str()),
                  0);
        EXPECT_TRUE(dir.Read(image + ".bin") == data)
            << image << ": the device holds other data than the file";
    }

    // Puts the line behind `port` at a setting no run would leave it in; returns that setting.
    // The line keeps it while nobody has it open: the simulator holds the master. Nor may the
    // test hold the port during a run, or the flasher finds it used by another program.
    static termios UnusualLineSetting(const std::string& port) {
        const int line = open(port.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        EXPECT_GE(line, 0) << port;
        termios before{};
        EXPECT_EQ(tcgetattr(line, &before), 0);
        cfsetspeed(&before, B9600);
        before.c_cc[VMIN] = 1;
        before.c_cc[VTIME] = 5;
        EXPECT_EQ(tcsetattr(line, TCSANOW, &before), 0);
        EXPECT_EQ(tcgetattr(line, &before), 0);
        close(line);
        return before;
    }

    // The line is as it was before the run, and open to ordinary users again.
    static void ExpectLineAsBefore(const std::string& port, const termios& before) {
        const int line = open(port.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(line, 0) << port;
        const ScopeExit closeLine([line] { close(line); });
        termios after{};
        ASSERT_EQ(tcgetattr(line, &after), 0);
        EXPECT_EQ(after.c_iflag, before.c_iflag);
        EXPECT_EQ(after.c_oflag, before.c_oflag);
        EXPECT_EQ(after.c_cflag, before.c_cflag);
        EXPECT_EQ(after.c_lflag, before.c_lflag);
        EXPECT_EQ(cfgetospeed(&after), cfgetospeed(&before));
        EXPECT_EQ(after.c_cc[VMIN], before.c_cc[VMIN]);
        EXPECT_EQ(after.c_cc[VTIME], before.c_cc[VTIME]);
        int exclusive = -1;
        ASSERT_EQ(ioctl(line, TIOCGEXCL, &exclusive), 0);
        EXPECT_EQ(exclusive, 0) << "ordinary users are still kept out of the port";
    }

    // Another program can open the port right away: nothing of the run holds it any more.
    void ExpectPortFree() {
        PosixSerialPort other;
        EXPECT_TRUE(other.Open(Link())) << other.LastError().reason;
    }

    // CPU the flasher spent beyond starting up, as a share of a core over `wall`; printed for
    // the record and held to a limit that only a busy loop (a whole core) breaks, however
    // loaded the machine. The fine figure is scripts/bench's.
    void ExpectCpuShare(const char* scenario, const Process& flash,
                        std::chrono::milliseconds wall) {
        const double limitPercent = 10.0;
        static const double startup = [] {
            double least = 1e9;
            for (int i = 0; i < 3; ++i) {
                Process version({MORVIK2_FLASH, "--version"}, "/tmp");
                version.Wait();
                least = std::min(least, version.CpuMs());
            }
            return least;
        }();
        const double used = std::max(0.0, flash.CpuMs() - startup);
        const double percent = 100 * used / double(wall.count());
        std::printf("[cpu] %s: %.1f ms CPU beyond start-up over %lld ms = %.2f %% of a core\n",
                    scenario, used, (long long)wall.count(), percent);
        EXPECT_LE(percent, limitPercent) << scenario;
    }

    TempDir dir;
    std::unique_ptr<Process> sim;
};
