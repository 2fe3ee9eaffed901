// The POSIX serial backend on a pseudo-terminal pair: the master side plays the device.
#include "PosixSerialPort.h"

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double CpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

class PosixSerialPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master, 0);
        ASSERT_EQ(grantpt(master), 0);
        ASSERT_EQ(unlockpt(master), 0);
        slave = ptsname(master);
        ASSERT_TRUE(Open(port));
    }
    void TearDown() override {
        port.CloseHandle();
        if (master >= 0)
            close(master);
    }
    bool Open(PosixSerialPort& p) {
        return p.Open(slave) && p.GetCommState() && p.SetCommState() &&
               p.SetCommTimeouts(OpenComTimeouts) && p.PurgeComm(PurgeAll);
    }
    void DeviceSends(std::initializer_list<uint8_t> bytes) {
        std::vector<uint8_t> data(bytes);
        ASSERT_EQ(write(master, data.data(), data.size()), ssize_t(data.size()));
    }
    void Limits(uint32_t interval, uint32_t multiplier, uint32_t constant) {
        port.SetCommTimeouts({interval, multiplier, constant, 20, 1000});
    }

    int master = -1;
    std::string slave;
    PosixSerialPort port;
};

TEST_F(PosixSerialPortTest, BytesTravelBothWaysUnchanged) {
    const uint8_t frame[] = {0xE3, 0x00, 0x0A, 0x0D, 0x11, 0x13, 0xFF, 0x1A, 0x03};
    EXPECT_EQ(port.WriteFile(frame, sizeof frame).count, sizeof frame);
    uint8_t got[16];
    usleep(20000);
    EXPECT_EQ(read(master, got, sizeof got), ssize_t(sizeof frame));
    EXPECT_EQ(std::vector<uint8_t>(got, got + sizeof frame),
              std::vector<uint8_t>(frame, frame + sizeof frame));
    DeviceSends({0xE7, 0x0D, 0x0A, 0x11});
    IoResult r = port.ReadFile(got, 4);
    EXPECT_EQ(r.count, 4u);
    EXPECT_EQ(std::vector<uint8_t>(got, got + 4), (std::vector<uint8_t>{0xE7, 0x0D, 0x0A, 0x11}));
}

TEST_F(PosixSerialPortTest, SecondOpenIsRefusedWhileThePortIsHeld) {
    PosixSerialPort other;
    EXPECT_FALSE(other.Open(slave));
    EXPECT_EQ(other.LastError().devicePath, slave);
    EXPECT_EQ(other.LastError().osError, EBUSY);
    port.CloseHandle();
    EXPECT_TRUE(other.Open(slave)); // released on close
}

// A program that opened the port before, without a lock (a modem manager probing a new adapter),
// would take the device's replies. The port is refused, naming that program, and left as it
// was found: neither locked nor exclusive. Once the program has let go, it opens.
TEST_F(PosixSerialPortTest, APortAnotherProgramHoldsIsRefusedNamingIt) {
    port.CloseHandle();
    int ready[2], release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    const pid_t holder = fork();
    if (holder == 0) {
        close(ready[0]);
        close(release[1]);
        prctl(PR_SET_NAME, "ModemManager");
        const int line = open(slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        (void)!write(ready[1], line >= 0 ? "y" : "n", 1);
        char end;
        while (read(release[0], &end, 1) > 0) { // until the test lets go, or ends
        }
        _exit(0);
    }
    close(ready[1]);
    close(release[0]);
    char opened = 0;
    ASSERT_EQ(read(ready[0], &opened, 1), 1);
    close(ready[0]);
    ASSERT_EQ(opened, 'y');

    PosixSerialPort refused;
    EXPECT_FALSE(refused.Open(slave));
    EXPECT_FALSE(refused.IsOpen());
    EXPECT_EQ(refused.LastError().failure, PortFailure::HeldByOtherProgram);
    EXPECT_EQ(refused.LastError().detail, "ModemManager (" + std::to_string(holder) + ")");
    EXPECT_EQ(refused.LastError().osError, EBUSY);
    const int probe = open(slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(probe, 0);
    EXPECT_EQ(flock(probe, LOCK_EX | LOCK_NB), 0) << "the port stayed locked";
    int exclusive = -1;
    ASSERT_EQ(ioctl(probe, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0) << "ordinary users are still kept out of the port";
    close(probe);

    close(release[1]);
    ASSERT_EQ(waitpid(holder, nullptr, 0), holder);
    EXPECT_TRUE(refused.Open(slave)) << refused.LastError().reason;
}

// Root ignores the exclusive flag; an ordinary user, who runs the tool, does not.
TEST_F(PosixSerialPortTest, OrdinaryUsersAreKeptOutOnlyWhileThePortIsHeld) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to act as another user";
    ASSERT_EQ(chmod(slave.c_str(), 0666), 0);
    auto opensAsNobody = [&] {
        pid_t child = fork();
        if (child == 0) {
            if (setgid(65534) != 0 || setuid(65534) != 0)
                _exit(2);
            int fd = open(slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            _exit(fd >= 0 ? 0 : 1);
        }
        int status = 0;
        waitpid(child, &status, 0);
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    };
    EXPECT_FALSE(opensAsNobody());
    port.CloseHandle();
    EXPECT_TRUE(opensAsNobody());
}

TEST_F(PosixSerialPortTest, TotalLimitIsMultiplierTimesCountPlusConstant) {
    Limits(0, 1, 100); // the search's one-byte read
    uint8_t b[2];
    auto start = Clock::now();
    IoResult r = port.ReadFile(b, 1);
    double ms = MsSince(start);
    EXPECT_EQ(r.count, 0u);
    EXPECT_FALSE(r.gone);
    EXPECT_GE(ms, 101);
    EXPECT_LT(ms, 1000); // far below any other limit it could have waited for

    Limits(0, 20, 40);
    start = Clock::now();
    r = port.ReadFile(b, 2);
    ms = MsSince(start);
    EXPECT_GE(ms, 80);
    EXPECT_LT(ms, 1000);
}

TEST_F(PosixSerialPortTest, IntervalLimitEndsAReplyThatStopsEarly) {
    Limits(30, 100, 1000);
    std::thread device([&] {
        usleep(50000);
        DeviceSends({0xE7});
    });
    uint8_t b[2];
    auto start = Clock::now();
    IoResult r = port.ReadFile(b, 2);
    double ms = MsSince(start);
    device.join();
    EXPECT_EQ(r.count, 1u);
    EXPECT_GE(ms, 80);  // 50 ms until the byte, then the 30 ms interval
    EXPECT_LT(ms, 600); // not the 1200 ms total
}

TEST_F(PosixSerialPortTest, ReadReturnsAsSoonAsEverythingArrived) {
    Limits(50, 100, 1000);
    std::thread device([&] {
        usleep(10000);
        DeviceSends({0xE7});
        usleep(10000);
        DeviceSends({0xE4});
    });
    uint8_t b[2];
    auto start = Clock::now();
    IoResult r = port.ReadFile(b, 2);
    double ms = MsSince(start);
    device.join();
    EXPECT_EQ(r.count, 2u);
    EXPECT_LT(ms, 600); // not the 1200 ms total
}

TEST_F(PosixSerialPortTest, PurgeDropsPendingInput) {
    DeviceSends({0xEB, 0xEB, 0xEB});
    usleep(20000);
    EXPECT_TRUE(port.PurgeComm(PurgeAll));
    Limits(0, 1, 20);
    uint8_t b[3];
    EXPECT_EQ(port.ReadFile(b, 3).count, 0u);
}

TEST_F(PosixSerialPortTest, VanishedDeviceIsReportedAtOnceAndNeverSpins) {
    Limits(0, 1, 100);
    close(master);
    master = -1;
    uint8_t b[1];
    double cpuBefore = CpuMs();
    auto start = Clock::now();
    for (int i = 0; i < 1000; ++i) { // a careless caller looping on a dead port
        IoResult r = port.ReadFile(b, 1);
        ASSERT_TRUE(r.gone);
        ASSERT_EQ(r.count, 0u);
    }
    EXPECT_TRUE(port.WriteFile(b, 1).gone);
    // Waiting out the search's 101 ms each would take 101 s.
    EXPECT_LT(MsSince(start), 10000);
    EXPECT_LT(CpuMs() - cpuBefore, 10000);
}

TEST_F(PosixSerialPortTest, HangupDuringAWaitEndsTheRead) {
    Limits(50, 100, 5000);
    std::thread unplug([&] {
        usleep(30000);
        close(master);
    });
    uint8_t b[2];
    auto start = Clock::now();
    IoResult r = port.ReadFile(b, 2);
    double ms = MsSince(start);
    unplug.join();
    master = -1;
    EXPECT_TRUE(r.gone);
    EXPECT_LT(ms, 3000); // not the 5200 ms total
}

// Run as a port, the user's own terminal would go raw and take sync bytes; Ctrl-C would be
// gone. Children in sessions of their own try a pseudo-terminal by each of its names: as their
// controlling terminal, and as nothing but their stdin, stdout or stderr, as under `setsid`.
// Another terminal still opens.
TEST(OwnTerminal, IsRefusedAndLeftAsItWas) {
    for (int stream : {-1, STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        SCOPED_TRACE(stream < 0 ? "controlling terminal" : "stream " + std::to_string(stream));
        int report[2];
        ASSERT_EQ(pipe(report), 0);
        pid_t child = fork();
        if (child == 0) {
            close(report[0]);
            const int out = fcntl(report[1], F_DUPFD, 10); // above the standard streams
            auto fail = [&](const std::string& why) {
                (void)!write(out, why.data(), why.size());
                _exit(1);
            };
            auto newTerminal = [&](int& master) {
                master = posix_openpt(O_RDWR | O_NOCTTY);
                if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
                    fail("no pseudo-terminal");
                return std::string(ptsname(master));
            };
            int master = -1, otherMaster = -1;
            const std::string own = newTerminal(master);
            const std::string other = newTerminal(otherMaster);
            if (setsid() < 0)
                fail("setsid");
            // Without O_NOCTTY it becomes the session's controlling terminal.
            const int terminal = open(own.c_str(), stream < 0 ? O_RDWR : O_RDWR | O_NOCTTY);
            if (terminal < 0)
                fail("cannot open " + own);
            if (stream < 0 && tcgetsid(terminal) != getsid(0))
                fail("no controlling terminal");
            if (stream >= 0 && (dup2(terminal, stream) < 0 || tcgetsid(terminal) != -1))
                fail("not a standard stream alone");
            termios before{};
            tcgetattr(terminal, &before);
            std::vector<std::string> names = {own};
            if (stream < 0)
                names.push_back("/dev/tty");
            std::string problems;
            for (const std::string& name : names) {
                PosixSerialPort port;
                const bool opened = port.Open(name) && port.GetCommState() && port.SetCommState();
                termios now{};
                tcgetattr(terminal, &now);
                int exclusive = 0;
                ioctl(terminal, TIOCGEXCL, &exclusive);
                if (opened)
                    problems += name + " was opened as a port\n";
                if (now.c_lflag != before.c_lflag || now.c_iflag != before.c_iflag ||
                    now.c_oflag != before.c_oflag || now.c_cflag != before.c_cflag)
                    problems += name + ": the terminal's setting changed\n";
                if (exclusive != 0)
                    problems += name + ": the terminal was made exclusive\n";
                const PortError error = port.LastError();
                if (error.reason.find("Terminal") == std::string::npos)
                    problems += name + ": refused for another reason: " + error.reason + "\n";
            }
            // Opened in a closed stream's place, as in a window started without one.
            close(STDOUT_FILENO);
            PosixSerialPort port;
            if (!port.Open(other) || port.NativeHandle() != STDOUT_FILENO)
                problems += "another terminal was refused: " + port.LastError().reason + "\n";
            if (!problems.empty())
                fail(problems);
            _exit(0);
        }
        close(report[1]);
        std::string why;
        char buffer[256];
        for (ssize_t n; (n = read(report[0], buffer, sizeof buffer)) > 0;)
            why.append(buffer, size_t(n));
        close(report[0]);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << why;
    }
}

// What the window keeps and the command line takes: COMn as Windows writes it, or a path.
TEST(PortNames, ComNamesAsWindowsWritesThemOrDevicePaths) {
    for (const char* name :
         {"COM1", "COM9", "COM10", "COM16", "COM17", "COM23", "COM100", "COM256", "/dev/ttyUSB0",
          "/dev/serial/by-id/usb-FTDI-if00-port0", "ttys/3", "\\\\.\\COM300", "\\\\.\\CNCA0"})
        EXPECT_TRUE(IsPortName(name)) << name;
    for (const char* name : {"", "COM", "COM0", "COM00", "COM01", "COM03", "COM257", "COM1000",
                             "COM99999999999", "com3", "Com3", "COM3 ", " COM3", "COM+3", "COM-1",
                             "COM3a", "LPT1", "ttyUSB0", "\\\\COM3"})
        EXPECT_FALSE(IsPortName(name)) << name;
    EXPECT_EQ(ComNumber("COM23"), 23);
    EXPECT_EQ(ComNumber("COM256"), 256);
    EXPECT_EQ(ComNumber("/dev/ttyS22"), 0);
}

} // namespace
