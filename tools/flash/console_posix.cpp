#include "Console.h"

#include "SerialPosix.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

std::atomic<int> stopSignals{0};

// The open port as the second stop signal needs it: that exit runs no destructors. The
// descriptor is published last and withdrawn first, so the handler never sees a half-written
// entry or a descriptor that is already closed.
std::atomic<int> emergencyFd{-1};
termios emergencyLine{};
bool emergencyHaveLine = false;
static_assert(std::atomic<int>::is_always_lock_free);

// Async-signal-safe.
void RestorePortForExit() {
    const int fd = emergencyFd.load();
    if (fd < 0)
        return;
    if (emergencyHaveLine)
        (void)tcsetattr(fd, TCSANOW, &emergencyLine);
    int lines = TIOCM_DTR | TIOCM_RTS;
    (void)ioctl(fd, TIOCMBIC, &lines);
    (void)ioctl(fd, TIOCNXCL);
}

void OnStopSignal(int) {
    if (stopSignals.fetch_add(1) >= 1) {
        RestorePortForExit();
        static const char text[] = "\nAbbruch.\n";
        (void)!write(STDERR_FILENO, text, sizeof text - 1);
        _exit(2);
    }
}

// The POSIX port, known to the second stop signal while it is open.
class EmergencyRestoredPort : public SerialPort {
public:
    explicit EmergencyRestoredPort(PortLookup lookup) : port_(std::move(lookup)) {}
    ~EmergencyRestoredPort() override { CloseHandle(); }

    bool Open(const std::string& devicePath) override {
        Withdraw();
        if (!port_.Open(devicePath))
            return false;
        // The setting from before the run touches it, as the port itself restores on close.
        const int fd = port_.NativeHandle();
        emergencyHaveLine = tcgetattr(fd, &emergencyLine) == 0;
        emergencyFd.store(fd);
        return true;
    }
    void CloseHandle() override {
        Withdraw();
        port_.CloseHandle();
    }

    bool GetCommState() override { return port_.GetCommState(); }
    bool SetCommState() override { return port_.SetCommState(); }
    bool GetCommTimeouts(CommTimeouts& timeouts) override {
        return port_.GetCommTimeouts(timeouts);
    }
    bool SetCommTimeouts(const CommTimeouts& timeouts) override {
        return port_.SetCommTimeouts(timeouts);
    }
    bool PurgeComm(uint32_t flags) override { return port_.PurgeComm(flags); }
    bool EscapeCommFunction(LineCode code) override { return port_.EscapeCommFunction(code); }
    IoResult WriteFile(const uint8_t* data, size_t count) override {
        return port_.WriteFile(data, count);
    }
    IoResult ReadFile(uint8_t* buffer, size_t count) override {
        return port_.ReadFile(buffer, count);
    }
    bool IsOpen() const override { return port_.IsOpen(); }
    PortError LastError() const override { return port_.LastError(); }

private:
    static void Withdraw() { emergencyFd.store(-1); }

    PosixSerialPort port_;
};

} // namespace

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

void PrepareConsole() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            // open() takes the lowest free descriptor: this one.
            const int placeholder = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
            if (placeholder >= 0 && placeholder != fd)
                ::close(placeholder);
        }
    }
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);
}

bool IsTerminal(std::FILE* stream) {
    return isatty(fileno(stream)) == 1;
}

void InstallStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    // The run notices a stop by asking StopSignalCount, not through interrupted calls, and its
    // waits (poll, sleeps) end within their own short limits anyway. Without SA_RESTART a
    // call that blocks elsewhere (a write into a full pipe, a read from a network file system)
    // would fail with EINTR: a status line lost, a firmware read reported as an I/O error. A
    // write that blocks for good is what the second signal is for.
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}

int StopSignalCount() {
    return stopSignals.load();
}

const char* PermissionHint(int osError) {
    if (osError != EACCES && osError != EPERM)
        return nullptr;
    return "Keine Berechtigung: den Benutzer in die Gruppe \"dialout\" aufnehmen "
           "(sudo usermod -aG dialout $USER) und sich neu anmelden.";
}

std::unique_ptr<SerialPort> CreateConsoleSerialPort(PortLookup lookup) {
    return std::make_unique<EmergencyRestoredPort>(std::move(lookup));
}
