// The command-line flasher as a process among others: closed or broken standard streams,
// file names the system refuses, a refused command line, signals. Whatever happens, the device
// sees nothing but the protocol and the port is left as it was found.
#include "EndToEnd.h"
#include "Protocol.h"

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

class ProcessHardening : public FlashEndToEnd {};

// A device of the test's own on a pseudo-terminal: it answers sync bytes but no frame, so the
// run fails with the port open and prints to both streams meanwhile. Returns every byte that
// reached the device.
std::string DeviceLine(Process& flash, int master) {
    std::string line;
    const auto deadline = Clock::now() + 30s;
    auto receive = [&](int waitMs) {
        pollfd ready{master, POLLIN, 0};
        if (poll(&ready, 1, waitMs) <= 0)
            return false;
        if (!(ready.revents & POLLIN)) { // closed by the flasher, which says so at once
            std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
            return false;
        }
        char buffer[256];
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n <= 0)
            return false;
        line.append(buffer, size_t(n));
        if (uint8_t(buffer[n - 1]) == SyncCommand)
            (void)!write(master, &SyncReply, 1);
        return true;
    };
    while (flash.Running() && Clock::now() < deadline)
        receive(20);
    while (receive(0)) {
    }
    return line;
}

std::string LastLine(const std::string& text) {
    const auto lines = Lines(text);
    return lines.empty() ? "" : lines.back();
}

TEST_F(ProcessHardening, ClosedStandardStreamsNeverBecomeThePort) {
    const std::string firstRecord = ":10000000000102030405060708090A0B0C0D0E0F78\n";
    dir.Write("Morvik2 update.QV", firstRecord + ":00000001FF\n");
    const std::vector<uint8_t> frame = WriteFrame(firstRecord.substr(0, firstRecord.size() - 1));

    struct Case {
        const char* what;
        Outputs outputs;
    };
    const std::vector<Case> cases = {
        {"stdout closed", {Output::Closed, Output::File}},
        {"stderr closed", {Output::File, Output::Closed}},
        {"both closed", {Output::Closed, Output::Closed}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const int master = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master, 0);
        ASSERT_EQ(grantpt(master), 0);
        ASSERT_EQ(unlockpt(master), 0);
        const std::string slave = ptsname(master);

        Process flash({MORVIK2_FLASH, "--port", slave}, dir.Path(), -1, c.outputs);
        std::string line = DeviceLine(flash, master);
        EXPECT_EQ(flash.Wait(), 1);
        line.erase(0, line.find_first_not_of(char(SyncCommand)));
        EXPECT_EQ(line, std::string(frame.begin(), frame.end()))
            << "the device got more than sync bytes and the first frame";
        // Where a stream is open, it still shows the end of the run.
        if (c.outputs.out == Output::File) {
            EXPECT_EQ(LastLine(flash.Stdout()), "Schreibfehler!");
        }
        if (c.outputs.err == Output::File) {
            EXPECT_EQ(LastLine(flash.Stderr()), "Schreibfehler!");
        }
        close(master);
    }
}

// The usage rules are unit-tested (FlashCommandLineTest); one of them here shows the process
// ending with its status and message while the device hears nothing.
TEST_F(ProcessHardening, RefusedOptionsAndFileNamesEndWithTheirStatusAndMessage) {
    StartSimulator();
    dir.Write("Morvik2 update.QV", HexFor(MakeData(160)));
    fs::create_symlink("loop-b", dir.Path("loop-a"));
    fs::create_symlink("loop-a", dir.Path("loop-b"));
    const std::string longName(300, 'a');
    const std::string inaccessible = "locked/Morvik2 update.QV";
    fs::create_directory(dir.Path("locked"));
    dir.Write(inaccessible, HexFor(MakeData(160)));
    fs::permissions(dir.Path("locked"), fs::perms::owner_all);
    fs::permissions(dir.Path(), fs::perms::all); // an ordinary user reaches "locked" from here
    const std::string device = fs::read_symlink(Link()).string();

    const std::string cannotAccess = "Auf die Firmware-Datei kann nicht zugegriffen werden!\n";
    struct Case {
        std::string what;
        std::vector<std::string> argv;
        int status;
        std::string stderrStart;
        int asUser = -1;
    };
    const std::string flash = MORVIK2_FLASH;
    std::vector<Case> cases = {
        {"one device as a link and as its target",
         {flash, "-p", Link(), "-p", device},
         64,
         "--port: \"" + Link() + "\" und \"" + device +
             "\" sind dieselbe Schnittstelle.\nAlle Angaben: morvik2-flash --help\n"},
        {"firmware file a symbolic link loop",
         {flash, "--port", Link(), "--file", "loop-a"},
         4,
         cannotAccess + "loop-a: "},
        {"firmware file name too long",
         {flash, "--port", Link(), "--file", longName},
         4,
         cannotAccess + longName + ": "},
        {"help in a deleted working directory", InDeletedDirectory({"--help"}), 0, ""},
        {"run in a deleted working directory",
         InDeletedDirectory({"--port", Link(), "--file", dir.Path("Morvik2 update.QV")}), 0, ""},
    };
    if (geteuid() == 0)
        cases.push_back({"firmware file in a directory without access",
                         {flash, "--port", Link(), "--file", inaccessible},
                         4,
                         cannotAccess + inaccessible + ": Permission denied\n",
                         65534});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Process run(c.argv, dir.Path(), c.asUser);
        EXPECT_EQ(run.Wait(), c.status);
        EXPECT_EQ(run.Stderr().substr(0, c.stderrStart.size()), c.stderrStart);
        if (c.status == 0) {
            EXPECT_EQ(run.Stderr(), "");
        } else {
            EXPECT_EQ(run.Stdout(), "") << "nothing of a run may have started";
        }
    }
    EXPECT_EQ(SimulatorFrames(), 10) << "only the run in the deleted directory reaches the device";
}

// A reader that has gone (`| head -3`) must not end the run half-way, nor leave the line as the
// run set it: the next program on the port, or the user's `stty`, would find a raw line at
// another speed. (The second stop signal, which exits at once: tests/e2e/GangTest.)
TEST_F(ProcessHardening, AReaderThatHasGoneLeavesTheLineAsItWasFound) {
    struct Case {
        const char* what;
        std::vector<std::string> simulator;
        Outputs outputs;
        int status;
    };
    const std::vector<Case> cases = {
        {"stdout into a pipe whose reader is gone", {}, {Output::BrokenPipe, Output::File}, 0},
        {"stderr into a pipe whose reader is gone, a refused frame",
         {"--fault", "wrong@3"},
         {Output::File, Output::BrokenPipe},
         1},
    };
    dir.Write("Morvik2 update.QV", HexFor(MakeData(800))); // 50 frames
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        StartSimulator(c.simulator);
        const termios before = UnusualLineSetting(Link());

        Process flash({MORVIK2_FLASH, "--port", Link()}, dir.Path(), -1, c.outputs);
        EXPECT_EQ(flash.Wait(), c.status) << flash.Stderr();
        EXPECT_EQ(SimulatorFrames(), c.status == 0 ? 50 : 3);
        EXPECT_EQ(SimulatorSawEnd(), c.status == 0);

        ExpectLineAsBefore(Link(), before);
        sim->Signal(SIGTERM);
        sim->Wait();
    }
}

// A signal whose default would end the program ends a run as Ctrl-C does: exit 2, the line as
// it was found. One ignored when the program started (nohup) stays ignored; a run log at the
// file-size limit only fails its write; a crash is no stop, but the line is put back before the
// program goes the way the signal takes it.
TEST_F(ProcessHardening, SignalsEndARunOnlyTheWayTheyShould) {
    struct Case {
        const char* what;
        int signal; // 0: none is sent
        Inherited inherited;
        std::vector<std::string> options;
        int status;
    };
    const std::vector<Case> cases = {
        {"SIGUSR1", SIGUSR1, {}, {}, 2},
        {"SIGALRM", SIGALRM, {}, {}, 2},
        {"SIGQUIT", SIGQUIT, {}, {}, 2},
        {"a real-time signal", SIGRTMIN + 2, {}, {}, 2},
        {"SIGHUP under nohup", SIGHUP, {{SIGHUP}}, {}, 0},
        {"a run log at the file-size limit", 0, {{}, 1000}, {"--log", "full.log"}, 0},
        {"SIGABRT", SIGABRT, {}, {}, 128 + SIGABRT},
    };
    dir.Write("Morvik2 update.QV", HexFor(MakeData(800))); // 50 frames
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        dir.Write("full.log", std::string(1000, 'x'));
        StartSimulator({"--reply-delay-ms", "20"});
        const termios before = UnusualLineSetting(Link());

        std::vector<std::string> argv = {MORVIK2_FLASH, "--port", Link()};
        argv.insert(argv.end(), c.options.begin(), c.options.end());
        Process flash(argv, dir.Path(), -1, {}, c.inherited);
        ASSERT_TRUE(flash.WaitForOutput("Schreibe Daten"));
        if (c.signal)
            flash.Signal(c.signal);
        EXPECT_EQ(flash.Wait(), c.status) << flash.Stderr();
        if (c.status == 0) {
            EXPECT_EQ(SimulatorFrames(), 50);
        }
        if (!c.options.empty()) {
            EXPECT_NE(flash.Stderr().find("Der Eintrag im Run-Log konnte nicht geschrieben werden"),
                      std::string::npos);
        }
        ExpectLineAsBefore(Link(), before);
        sim->Signal(SIGTERM);
        sim->Wait();
    }
}

} // namespace
