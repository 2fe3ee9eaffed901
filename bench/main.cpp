// Throughput and CPU figures of the programming path, measured against the simulated device
// on pseudo-terminals. Run by hand: it prints figures, it asserts nothing.
#include "IntelHex.h"
#include "PosixSerialPort.h"
#include "Programmer.h"
#include "Protocol.h"
#include "PtyDevice.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <poll.h>
#include <random>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Us(Clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
}

double ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// A window that only watches: timestamps of status texts, and a stop after a time limit.
class WatchingWindow : public WindowServices {
public:
    Programmer* run = nullptr;
    Clock::time_point stopAt = Clock::time_point::max();
    std::vector<std::pair<std::string, Clock::time_point>> statuses;
    std::vector<std::string> messages;

    void SetStatus(const std::string& text) override { statuses.emplace_back(text, Clock::now()); }
    void SetProgress(int) override {}
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    void ProcessMessages() override {
        if (run && Clock::now() >= stopAt)
            run->StopRequested = true;
    }
    void WaitForPacingTimer() override {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    void Beep() override {}

    Clock::time_point At(const std::string& status) const {
        for (const auto& [text, at] : statuses)
            if (text == status)
                return at;
        return {};
    }
};

// A programming run against a simulated device of its own, watched by WatchingWindow.
struct BenchRun {
    explicit BenchRun(DeviceOptions options) : device(std::make_unique<PtyDevice>(options)) {
        device->Start();
        window.run = &run;
        path = device->SlavePath();
    }
    std::unique_ptr<PtyDevice> device;
    std::string path; // what the run opens
    WatchingWindow window;
    PosixSerialPort port;
    Programmer run{window, port};
};

int RawSlave(const std::string& path) {
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
    termios tio{};
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd, TCSANOW, &tio);
    return fd;
}

// Writes `bytes` and blocks until `replyLength` bytes have come back.
void Exchange(int fd, const std::vector<uint8_t>& bytes, size_t replyLength) {
    (void)!write(fd, bytes.data(), bytes.size());
    uint8_t reply[4];
    for (size_t got = 0; got < replyLength;) {
        ssize_t n = read(fd, reply + got, replyLength - got);
        if (n <= 0)
            return;
        got += size_t(n);
    }
}

// 1. One write exchange through the whole programming path, against a bare pty round trip.
void ExchangeCost() {
    const int rounds = 3000;
    std::mt19937 random(1);
    std::vector<uint8_t> data(32);
    for (auto& b : data)
        b = uint8_t(random());
    const std::string line = IntelHexRecord(0x1000, data.data(), data.size());
    const std::vector<uint8_t> frame = WriteFrame(line);

    BenchRun unpaced(DeviceOptions{});
    Programmer& run = unpaced.run;
    if (!run.OpenCom(unpaced.path) || !run.Communication(SyncCommand, "")) {
        std::printf("exchange: the simulated device did not answer\n");
        return;
    }
    std::vector<double> programmed;
    for (int i = 0; i < rounds; ++i) {
        auto start = Clock::now();
        bool ok = run.Communication(WriteCommand, line);
        programmed.push_back(Us(Clock::now() - start));
        if (!ok) {
            std::printf("exchange: write refused\n");
            return;
        }
    }
    run.CloseCom();

    // The same bytes over a bare pty: write, and a responder that answers E7 E4.
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    grantpt(master);
    unlockpt(master);
    const int slave = RawSlave(ptsname(master));
    std::thread responder([&] {
        std::vector<uint8_t> in(frame.size());
        for (int i = 0; i < rounds; ++i) {
            size_t got = 0;
            while (got < in.size()) {
                ssize_t n = read(master, in.data() + got, in.size() - got);
                if (n <= 0)
                    return;
                got += size_t(n);
            }
            (void)!write(master, WriteReply, 2);
        }
    });
    std::vector<double> bare;
    for (int i = 0; i < rounds; ++i) {
        auto start = Clock::now();
        Exchange(slave, frame, 2);
        bare.push_back(Us(Clock::now() - start));
    }
    responder.join();
    close(slave);
    close(master);

    const double a = Median(programmed), b = Median(bare);
    std::printf("1. exchange of a %zu-byte frame, median of %d: programming path %.1f us, bare pty "
                "%.1f us, ratio %.2f (target <= 2)\n",
                frame.size(), rounds, a, b, a / b);
}

// 2. A 64 KiB image through the device paced at 115200 baud, against the wire's own time.
double WireEfficiency(const std::string& dir) {
    std::mt19937 random(2);
    const size_t size = 64 * 1024, perRecord = 32;
    std::ofstream file(dir + "/fw.hex", std::ios::binary);
    size_t wireBytes = 2 + 2; // the sync and the end command, with their replies
    std::vector<std::vector<uint8_t>> frames;
    for (size_t at = 0; at < size; at += perRecord) {
        std::vector<uint8_t> data(perRecord);
        for (auto& b : data)
            b = uint8_t(random());
        const std::string line = IntelHexRecord(uint16_t(at), data.data(), data.size());
        file << line << "\r\n";
        frames.push_back(WriteFrame(line));
        wireBytes += perRecord + 5 + 2;
    }
    file << IntelHexEndRecord << "\r\n";
    file.close();

    DeviceOptions options;
    options.baud = 115200;
    BenchRun paced(options);
    const WatchingWindow& window = paced.window;
    auto start = Clock::now();
    paced.run.Programing(dir + "/fw.hex", paced.path);
    auto end = Clock::now();
    if (paced.run.LastOutcome() != RunOutcome::Ok) {
        std::printf("2. wire efficiency: the run failed\n");
        return 0;
    }
    // The transfer: from the first frame to the end reply; the two 250 ms pulses are fixed.
    const double transfer =
        std::chrono::duration<double>(window.At("Alles OK !") -
                                      window.At("Schreibe Daten, bitte warten!"))
            .count();
    const double bound = wireBytes * 10.0 / 115200;
    std::printf("2. 64 KiB at 115200 baud: whole run %.3f s (with 2 x 250 ms pulses), transfer "
                "%.3f s, wire-time bound %.3f s (%zu bytes), ratio %.4f (target <= 1.03)\n",
                std::chrono::duration<double>(end - start).count(), transfer, bound, wireBytes,
                transfer / bound);

    // The same frames from a bare client (write, then block until the reply) over the same
    // paced line: what the pty and the device's pacing cost without the programming path.
    PtyDevice bareDevice(options);
    bareDevice.Start();
    const int fd = RawSlave(bareDevice.SlavePath());
    Exchange(fd, {SyncCommand}, 1);
    const auto bareStart = Clock::now();
    for (const auto& frame : frames)
        Exchange(fd, frame, 2);
    Exchange(fd, {EndCommand}, 1);
    const double bare = std::chrono::duration<double>(Clock::now() - bareStart).count();
    close(fd);
    std::printf("   bare client over the same line: %.3f s, ratio %.4f to the bound; the "
                "programming path adds %.2f %% to it\n",
                bare, bare / bound, 100 * (transfer / bare - 1));
    return bare;
}

// 3. CPU time of a run while the device stays silent, and once the adapter is gone.
void IdleCpu(const std::string& dir) {
    DeviceOptions options;
    options.powerOnAfter = 1 << 30;
    {
        BenchRun silent(options);
        silent.window.stopAt =
            Clock::now() + std::chrono::seconds(5) + std::chrono::milliseconds(250);
        const double cpu = ThreadCpuMs();
        auto start = Clock::now();
        silent.run.Programing(dir + "/fw.hex", silent.path);
        const double wall = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        const double used = ThreadCpuMs() - cpu;
        std::printf("3. silent device: %.0f ms searching, %.1f ms CPU = %.3f %% of a core "
                    "(target <= 1 %%)\n",
                    wall, used, 100 * used / wall);
    }
    {
        // The adapter is unplugged one second into the search: the run must notice at once
        // and never spin on the dead port.
        BenchRun unplugging(options);
        unplugging.window.stopAt = Clock::now() + std::chrono::seconds(10);
        Clock::time_point unplugged;
        std::thread unplug([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(1250));
            unplugged = Clock::now();
            unplugging.device.reset();
        });
        const double cpu = ThreadCpuMs();
        auto start = Clock::now();
        unplugging.run.Programing(dir + "/fw.hex", unplugging.path);
        auto end = Clock::now();
        const double used = ThreadCpuMs() - cpu;
        unplug.join();
        const double wall = std::chrono::duration<double, std::milli>(end - start).count();
        std::printf("   adapter unplugged during the search: run ended %.1f ms later (%s); %.1f ms "
                    "CPU over %.0f ms = %.3f %% of a core\n",
                    std::chrono::duration<double, std::milli>(end - unplugged).count(),
                    unplugging.window.messages.empty() ? "no message"
                                                       : unplugging.window.messages.back().c_str(),
                    used, wall, 100 * used / wall);
    }
}

// CPU time a process has used so far, from /proc; its resolution is the kernel's tick.
double ProcessCpuMs(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const size_t name = text.rfind(')');
    if (name == std::string::npos)
        return 0;
    std::istringstream fields(text.substr(name + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14)
            utime = std::stoull(field);
        if (i == 15)
            stime = std::stoull(field);
    }
    return double(utime + stime) * 1000 / double(sysconf(_SC_CLK_TCK));
}

// One morvik2-flash process as a production line runs it: stdout into a pipe, read here as the
// lines come; stderr away. The transfer runs from the first "Schreibe Daten" to the last
// "Alles OK !".
struct ToolRun {
    int status = -1;
    size_t ok = 0;
    double wall = 0, transfer = 0;
    double cpuTotalMs = 0, cpuTransferMs = 0;
};

ToolRun RunTool(const std::vector<std::string>& ports, const std::string& file) {
    std::vector<std::string> args = {MORVIK2_FLASH, "--file", file};
    for (const std::string& port : ports)
        args.insert(args.end(), {"--port", port});
    int out[2];
    if (pipe(out) != 0)
        return {};
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDERR_FILENO);
        close(out[0]);
        close(out[1]);
        std::vector<char*> argv;
        for (auto& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    ToolRun run;
    Clock::time_point firstWriting{}, lastOk{};
    double cpuAtWriting = 0, cpuAtOk = 0;
    std::string pending;
    char buffer[4096];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) {
        const auto now = Clock::now();
        pending.append(buffer, size_t(n));
        for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
            const std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (line.find("Schreibe Daten") != std::string::npos &&
                firstWriting == Clock::time_point{}) {
                firstWriting = now;
                cpuAtWriting = ProcessCpuMs(pid);
            }
            if (line.size() >= 10 && line.compare(line.size() - 10, 10, "Alles OK !") == 0) {
                lastOk = now;
                if (++run.ok == ports.size())
                    cpuAtOk = ProcessCpuMs(pid);
            }
        }
    }
    close(out[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    run.wall = std::chrono::duration<double>(Clock::now() - start).count();
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.cpuTotalMs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
                     (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
    run.transfer = std::chrono::duration<double>(lastOk - firstWriting).count();
    run.cpuTransferMs = cpuAtOk - cpuAtWriting;
    return run;
}

// 4. The command-line tool: one device, then a gang of eight, each with a 64 KiB image at
// 115200 baud, in the same run; and the tool's own cost against the bare client.
void Gang(const std::string& dir, double bareTransfer) {
    const size_t gangSize = 8;
    DeviceOptions options;
    options.baud = 115200;
    std::vector<std::unique_ptr<PtyDevice>> devices;
    std::vector<std::string> ports;
    for (size_t i = 0; i < gangSize; ++i) {
        devices.push_back(std::make_unique<PtyDevice>(options));
        devices.back()->Start();
        ports.push_back(devices.back()->SlavePath());
    }
    // One device alone, twice: the quicker one is the tool's own time, the other had a
    // neighbour's noise.
    ToolRun single;
    for (int i = 0; i < 2; ++i) {
        const ToolRun run = RunTool({ports[0]}, dir + "/fw.hex");
        if (run.status != 0) {
            std::printf("4. tool: one device failed with exit status %d\n", run.status);
            return;
        }
        if (i == 0 || run.transfer < single.transfer)
            single = run;
    }
    const ToolRun gang = RunTool(ports, dir + "/fw.hex");
    if (gang.status != 0 || gang.ok != gangSize) {
        std::printf("4. tool: the gang failed with exit status %d (%zu OK)\n", gang.status,
                    gang.ok);
        return;
    }
    std::printf("4. morvik2-flash, 64 KiB at 115200 baud: one device %.3f s (transfer %.3f s); "
                "%zu devices at once %.3f s (transfers %.3f s); gang / one = %.3f whole, %.3f "
                "transfer (target <= 1.10)\n",
                single.wall, single.transfer, gangSize, gang.wall, gang.transfer,
                gang.wall / single.wall, gang.transfer / single.transfer);
    std::printf("   CPU of the tool during the gang transfer: %.0f ms over %.3f s = %.1f %% of a "
                "core (whole process %.0f ms over %.3f s = %.1f %%); one device: %.1f %%\n",
                gang.cpuTransferMs, gang.transfer, 100 * gang.cpuTransferMs / 1000 / gang.transfer,
                gang.cpuTotalMs, gang.wall, 100 * gang.cpuTotalMs / 1000 / gang.wall,
                100 * single.cpuTransferMs / 1000 / single.transfer);
    if (bareTransfer > 0)
        std::printf("5. one device: the tool's transfer %.3f s against the bare client's %.3f s "
                    "over the same line: the tool adds %.2f %% (target <= 1 %%)\n",
                    single.transfer, bareTransfer, 100 * (single.transfer / bareTransfer - 1));
}

} // namespace

int main() {
    const std::string dir =
        (std::filesystem::temp_directory_path() / ("morvik2-bench-" + std::to_string(getpid())))
            .string();
    std::filesystem::create_directories(dir);
    ExchangeCost();
    const double bareTransfer = WireEfficiency(dir);
    IdleCpu(dir);
    Gang(dir, bareTransfer);
    std::filesystem::remove_all(dir);
    return 0;
}
