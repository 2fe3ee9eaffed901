// The command-line tool's console on POSIX: signals, the emergency restore, append files.
#include "Console.h"

#include "PosixSerialPort.h"
#include "RetryOnEintr.h"
#include "UniqueFd.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

std::atomic<int> stopSignals{0};

// The open ports as the second stop signal needs them: that exit runs no destructors. Each
// port of a gang has a slot of its own; a slot's descriptor is published last and withdrawn
// first, so the handler never sees a half-written entry or a descriptor that is already closed.
struct EmergencySlot {
    std::atomic<bool> taken{false};
    std::atomic<int> fd{-1};
    termios line{};
    bool haveLine = false;
    bool endLowLatency = false;
};
constexpr size_t emergencySlotCount = 64;
EmergencySlot emergencySlots[emergencySlotCount];
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free);

// Async-signal-safe.
void RestorePortsForExit() {
    for (EmergencySlot& slot : emergencySlots) {
        const int fd = slot.fd.load();
        if (fd < 0)
            continue;
        if (slot.endLowLatency)
            PosixSerialPort::EndLowLatency(fd);
        if (slot.haveLine)
            (void)tcsetattr(fd, TCSANOW, &slot.line);
        int lines = TIOCM_DTR | TIOCM_RTS;
        (void)ioctl(fd, TIOCMBIC, &lines);
        (void)ioctl(fd, TIOCNXCL);
    }
}

// A free slot, or nullptr when every slot is taken (the port then goes without).
EmergencySlot* TakeSlot() {
    for (EmergencySlot& slot : emergencySlots) {
        bool free = false;
        if (slot.taken.compare_exchange_strong(free, true))
            return &slot;
    }
    return nullptr;
}

void OnStopSignal(int) {
    if (stopSignals.fetch_add(1) >= 1) {
        RestorePortsForExit();
        static const char text[] = "\nAbbruch.\n";
        (void)!write(STDERR_FILENO, text, sizeof text - 1);
        _exit(2);
    }
}

// A crash is no stop: the port is put back, then the signal does what it always does (a core
// dump, the parent sees the signal). SA_RESETHAND has made that the handler already.
void OnCrashSignal(int signal) {
    RestorePortsForExit();
    (void)raise(signal);
}

// Every signal whose default would end the process without the port being put back, bar the
// crashes: each asks for a stop, as Ctrl-C does.
constexpr int fixedStopSignals[] = {
    SIGINT,    SIGTERM,   SIGHUP,  SIGQUIT, SIGUSR1, SIGUSR2,
    SIGALRM,   SIGVTALRM, SIGPROF, SIGIO,   SIGXCPU,
#ifdef SIGPWR
    SIGPWR,
#endif
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
};
constexpr int crashSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGTRAP, SIGSYS};

#ifdef SIGRTMIN
std::vector<int> StopSignals() {
    std::vector<int> signals(std::begin(fixedStopSignals), std::end(fixedStopSignals));
    for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal)
        signals.push_back(signal);
    return signals;
}
#else
std::vector<int> StopSignals() {
    return std::vector<int>(std::begin(fixedStopSignals), std::end(fixedStopSignals));
}
#endif

// Installs `handler` for `signal` unless the signal was ignored when the program started (as
// under nohup: whoever started it asked for that) or, for `onlyOverDefault`, already has a
// handler (a sanitizer's or a debugger's, which knows better what to do with a crash).
void Handle(int signal, void (*handler)(int), int flags, bool onlyOverDefault) {
    struct sigaction before {};
    if (sigaction(signal, nullptr, &before) != 0 || before.sa_handler == SIG_IGN)
        return;
    if (onlyOverDefault && ((before.sa_flags & SA_SIGINFO) || before.sa_handler != SIG_DFL))
        return;
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = flags;
    sigaction(signal, &action, nullptr);
}

// The POSIX port, known to the second stop signal while it is open.
class EmergencyRestoredPort : public SerialPort {
public:
    EmergencyRestoredPort() : slot_(TakeSlot()) {}
    ~EmergencyRestoredPort() override {
        CloseHandle();
        if (slot_)
            slot_->taken.store(false);
    }

    bool Open(const std::string& devicePath) override {
        Withdraw();
        if (!port_.Open(devicePath))
            return false;
        // The setting from before the run touches it, as the port itself restores on close.
        const int fd = port_.NativeHandle();
        if (slot_) {
            slot_->haveLine = tcgetattr(fd, &slot_->line) == 0;
            slot_->endLowLatency = port_.AddedLowLatency();
            slot_->fd.store(fd);
        }
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
    void Withdraw() {
        if (slot_)
            slot_->fd.store(-1);
    }

    PosixSerialPort port_;
    EmergencySlot* slot_;
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
    // A run log at the file-size limit fails its write, which is reported, instead of ending
    // every run of a gang half-way.
    sigaction(SIGXFSZ, &ignore, nullptr);
}

bool IsTerminal(std::FILE* stream) {
    return isatty(fileno(stream)) == 1;
}

bool EnableCursorMovement(std::FILE* stream) {
    const char* term = std::getenv("TERM");
    return IsTerminal(stream) && term && std::strcmp(term, "dumb") != 0;
}

void InstallStopSignals() {
    // The run notices a stop by asking StopSignalCount, not through interrupted calls, and its
    // waits (poll, sleeps) end within their own short limits anyway. Without SA_RESTART a
    // call that blocks elsewhere (a write into a full pipe, a read from a network file system)
    // would fail with EINTR: a status line lost, a firmware read reported as an I/O error. A
    // write that blocks for good is what the second signal is for.
    for (int signal : StopSignals())
        Handle(signal, OnStopSignal, SA_RESTART, false);
    for (int signal : crashSignals)
        Handle(signal, OnCrashSignal, SA_RESETHAND | SA_NODEFER, true);
}

int StopSignalCount() {
    return stopSignals.load();
}

std::unique_ptr<SerialPort> CreateConsoleSerialPort() {
    return std::make_unique<EmergencyRestoredPort>();
}

namespace {

bool IsAttachedTerminal(dev_t device, const std::string& sysRoot) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path node =
        fs::read_symlink(fs::path(sysRoot) / "dev/char" /
                             (std::to_string(major(device)) + ":" + std::to_string(minor(device))),
                         error);
    return !error && !node.filename().empty() &&
           fs::exists(fs::path(sysRoot) / "class/tty" / node.filename() / "device", error);
}

} // namespace

bool IsAttachedTerminal(const std::string& path, const std::string& sysRoot) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISCHR(info.st_mode) &&
           IsAttachedTerminal(info.st_rdev, sysRoot);
}

std::string HostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return {};
    return name;
}

namespace {

class PosixAppendFile : public AppendFile {
public:
    explicit PosixAppendFile(UniqueFd fd) : fd_(std::move(fd)) {}

    std::optional<std::string> Append(const std::string& text) override {
        // One write: O_APPEND puts it at the end as one piece, whoever else appends.
        const ssize_t written =
            RetryOnEintr([&] { return ::write(fd_.Get(), text.data(), text.size()); });
        if (written == ssize_t(text.size()))
            return std::nullopt;
        return written < 0 ? std::strerror(errno) : "nur teilweise geschrieben";
    }

private:
    UniqueFd fd_;
};

} // namespace

Result<std::unique_ptr<AppendFile>> AppendFile::Open(const std::string& path) {
    // Non-blocking, so that a FIFO without a reader cannot hang the program before any run.
    UniqueFd fd(::open(path.c_str(),
                       O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666));
    if (!fd.Valid())
        return Failed{std::strerror(errno)};
    // Checked by name before; a port put there in between is not written to either.
    struct stat info {};
    if (fstat(fd.Get(), &info) == 0 && S_ISCHR(info.st_mode) &&
        IsAttachedTerminal(info.st_rdev, "/sys"))
        return Failed{"ist eine Schnittstelle"};
    (void)fcntl(fd.Get(), F_SETFL, fcntl(fd.Get(), F_GETFL) & ~O_NONBLOCK);
    return std::make_unique<PosixAppendFile>(std::move(fd));
}
