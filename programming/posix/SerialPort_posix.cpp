// The serial link on POSIX systems: termios for the line setting, poll() on a steady-clock
// deadline for the Win32 read and write time limits.
#include "PosixSerialPort.h"

#include "MessageText.h"
#include "RetryOnEintr.h"
#include "SmallFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#ifdef __linux__
#include <linux/serial.h>
#endif

#if defined(__linux__) && defined(TIOCGSERIAL) && defined(ASYNC_LOW_LATENCY)
namespace {
// USB adapters otherwise hold small replies back for up to 16 ms. True when the mode was off
// and this turned it on: it then goes off again as the port closes.
bool RequestLowLatency(int fd) {
    serial_struct serial{};
    if (ioctl(fd, TIOCGSERIAL, &serial) != 0 || (serial.flags & ASYNC_LOW_LATENCY))
        return false;
    serial.flags |= ASYNC_LOW_LATENCY;
    return ioctl(fd, TIOCSSERIAL, &serial) == 0;
}
} // namespace

void PosixSerialPort::EndLowLatency(int fd) {
    serial_struct serial{};
    if (ioctl(fd, TIOCGSERIAL, &serial) == 0 && (serial.flags & ASYNC_LOW_LATENCY)) {
        serial.flags &= ~ASYNC_LOW_LATENCY;
        (void)ioctl(fd, TIOCSSERIAL, &serial);
    }
}
#else
namespace {
bool RequestLowLatency(int) {
    return false;
}
} // namespace

void PosixSerialPort::EndLowLatency(int) {}
#endif

namespace {

bool IsGoneError(int error) {
    return error == EIO || error == ENXIO || error == ENODEV;
}

// Linux answers only for the caller's own controlling terminal; other systems for any
// session's, hence the comparison.
bool IsControllingTerminal(int fd) {
    const pid_t session = tcgetsid(fd);
    return session != -1 && session == getsid(0);
}

// Under setsid the terminal the program was started in is no controlling terminal any more,
// but its output still goes there.
bool IsStandardStreamTerminal(int fd) {
    struct stat port {};
    if (fstat(fd, &port) != 0 || !S_ISCHR(port.st_mode))
        return false;
    for (int stream : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        struct stat info {};
        // A program started without a stream gives its number to the next file it opens.
        if (stream != fd && isatty(stream) && fstat(stream, &info) == 0 && S_ISCHR(info.st_mode) &&
            info.st_rdev == port.st_rdev)
            return true;
    }
    return false;
}

using Folder = std::unique_ptr<DIR, int (*)(DIR*)>;

Folder OpenFolder(const std::string& path) {
    return Folder(opendir(path.c_str()), closedir);
}

bool HoldsDevice(const std::string& pid, dev_t device) {
    const Folder fds = OpenFolder("/proc/" + pid + "/fd");
    if (!fds)
        return false; // gone, or another user's
    while (const dirent* entry = readdir(fds.get())) {
        struct statx target {};
        // Cached attributes tell a device; a file on a network server that no longer answers
        // must not hang the open.
        if (entry->d_name[0] != '.' &&
            statx(dirfd(fds.get()), entry->d_name, AT_STATX_DONT_SYNC, STATX_TYPE, &target) == 0 &&
            S_ISCHR(target.stx_mode) &&
            makedev(target.stx_rdev_major, target.stx_rdev_minor) == device)
            return true;
    }
    return false;
}

// Linux opens a port for a second program when the first set no exclusive flag; a modem manager
// probing a new adapter does that, and takes the device's replies. The other holder as
// "NAME (PID)", or nothing. Other users' processes are seen by root alone.
std::optional<std::string> OtherHolder(int fd) {
    struct stat port {};
    if (fstat(fd, &port) != 0 || !S_ISCHR(port.st_mode))
        return std::nullopt;
    const std::string self = std::to_string(getpid());
    const Folder processes = OpenFolder("/proc");
    if (!processes)
        return std::nullopt;
    while (const dirent* entry = readdir(processes.get())) {
        const std::string pid = entry->d_name;
        if (pid.find_first_not_of("0123456789") != std::string::npos || pid == self ||
            !HoldsDevice(pid, port.st_rdev))
            continue;
        // Without a name it has ended meanwhile, and holds nothing any more.
        if (auto name = ReadSmallFile("/proc/" + pid + "/comm", 64)) {
            name->erase(std::min(name->find('\n'), name->size()));
            return *name + " (" + pid + ")";
        }
    }
    return std::nullopt;
}

} // namespace

PosixSerialPort::~PosixSerialPort() {
    CloseHandle();
}

bool PosixSerialPort::Fail(int error) {
    lastError_.osError = error;
    lastError_.reason = std::strerror(error);
    lastError_.failure = PosixPortFailure(error);
    return false;
}

bool PosixSerialPort::Open(const std::string& devicePath) {
    CloseHandle();
    gone_ = false;
    lastError_ = PortError{};
    lastError_.devicePath = devicePath;
    UniqueFd fd(RetryOnEintr([&] {
        return ::open(lastError_.devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    }));
    if (!fd.Valid())
        return Fail(errno);
    // The user's own terminal is no adapter: raw mode and sync bytes would take it from them.
    if (IsControllingTerminal(fd.Get()) || IsStandardStreamTerminal(fd.Get())) {
        Fail(EBUSY);
        // No other program holds it: the reason is the program's own.
        lastError_.failure = PortFailure::System;
        lastError_.reason = OwnTerminalText;
        return false;
    }
    // flock holds against every other user of the port, root included; TIOCEXCL refuses
    // later opens by programs that do not take the lock.
    if (RetryOnEintr([&] { return flock(fd.Get(), LOCK_EX | LOCK_NB); }) != 0)
        return Fail(errno == EWOULDBLOCK ? EBUSY : errno);
    (void)ioctl(fd.Get(), TIOCEXCL);
    if (const std::optional<std::string> holder = OtherHolder(fd.Get())) {
        // The flag would outlive this descriptor while the other program holds the line.
        (void)ioctl(fd.Get(), TIOCNXCL);
        (void)flock(fd.Get(), LOCK_UN);
        Fail(EBUSY);
        lastError_.detail = *holder;
        return false;
    }
    fd_ = std::move(fd);
    // Linux raises both lines on open; the device must see them low until the reset pulse.
    int lines = TIOCM_DTR | TIOCM_RTS;
    (void)ioctl(fd_.Get(), TIOCMBIC, &lines);
    addedLowLatency_ = RequestLowLatency(fd_.Get());
    haveSaved_ = false;
    timeouts_ = CommTimeouts{};
    return true;
}

bool PosixSerialPort::GetCommState() {
    if (!fd_.Valid())
        return Fail(EBADF);
    if (tcgetattr(fd_.Get(), &current_) != 0)
        return Fail(errno);
    if (!haveSaved_) {
        saved_ = current_;
        haveSaved_ = true;
    }
    return true;
}

bool PosixSerialPort::SetCommState() {
    if (!fd_.Valid())
        return Fail(EBADF);
    termios tio = current_;
    cfmakeraw(&tio);
    tio.c_cflag &= ~(CSTOPB | PARENB | CSIZE | CRTSCTS);
    tio.c_cflag |= CS8 | CREAD | CLOCAL;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (cfsetispeed(&tio, B115200) != 0 || cfsetospeed(&tio, B115200) != 0)
        return Fail(errno);
    if (RetryOnEintr([&] { return tcsetattr(fd_.Get(), TCSANOW, &tio); }) != 0)
        return Fail(errno);
    current_ = tio;
    return true;
}

bool PosixSerialPort::GetCommTimeouts(CommTimeouts& timeouts) {
    if (!fd_.Valid())
        return Fail(EBADF);
    timeouts = timeouts_;
    return true;
}

bool PosixSerialPort::SetCommTimeouts(const CommTimeouts& timeouts) {
    if (!fd_.Valid())
        return Fail(EBADF);
    timeouts_ = timeouts;
    return true;
}

bool PosixSerialPort::PurgeComm(uint32_t flags) {
    if (!fd_.Valid())
        return Fail(EBADF);
    int queue = -1;
    const bool tx = flags & (PurgeTxAbort | PurgeTxClear);
    const bool rx = flags & (PurgeRxAbort | PurgeRxClear);
    if (tx && rx)
        queue = TCIOFLUSH;
    else if (tx)
        queue = TCOFLUSH;
    else if (rx)
        queue = TCIFLUSH;
    if (queue >= 0 && RetryOnEintr([&] { return tcflush(fd_.Get(), queue); }) != 0)
        return Fail(errno);
    return true;
}

bool PosixSerialPort::EscapeCommFunction(LineCode code) {
    if (!fd_.Valid())
        return Fail(EBADF);
    int line = (code == LineCode::SetDtr || code == LineCode::ClearDtr) ? TIOCM_DTR : TIOCM_RTS;
    bool set = code == LineCode::SetDtr || code == LineCode::SetRts;
    if (ioctl(fd_.Get(), set ? TIOCMBIS : TIOCMBIC, &line) != 0)
        return Fail(errno);
    return true;
}

int PosixSerialPort::PollFor(short events, TimePoint deadline, bool unlimited) {
    pollfd pfd{fd_.Get(), events, 0};
    // Taken again after a signal, so that the deadline stays where it was. Rounded up: waking a
    // little early would turn one wait into two.
    const auto timeoutMs = [&] {
        if (unlimited)
            return -1;
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        return static_cast<int>(std::clamp<long long>(ms.count(), 0, 1 << 30));
    };
    for (;;) {
        if (!unlimited && Clock::now() >= deadline)
            return 0;
        const int ready = RetryOnEintr([&] { return ::poll(&pfd, 1, timeoutMs()); });
        if (ready < 0) {
            Fail(errno);
            gone_ = true;
            return -1;
        }
        if (ready == 0)
            continue; // the deadline check above decides; poll may wake a little early
        if (pfd.revents & events)
            return 1;
        if (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) {
            Fail(EIO);
            gone_ = true;
            return -1;
        }
    }
}

IoResult PosixSerialPort::ReadFile(uint8_t* buffer, size_t count) {
    IoResult result;
    if (!fd_.Valid() || gone_) {
        result.gone = gone_;
        return result;
    }
    const auto t = timeouts_;
    if (count == 0)
        return result;
    const auto start = Clock::now();
    const bool noTotal = t.ReadTotalTimeoutMultiplier == 0 && t.ReadTotalTimeoutConstant == 0;
    // Win32: interval MAXDWORD with no total limit returns what has already arrived.
    const bool immediate = noTotal && t.ReadIntervalTimeout == UINT32_MAX;
    const auto totalDeadline =
        start + std::chrono::milliseconds(uint64_t(t.ReadTotalTimeoutMultiplier) * count +
                                          t.ReadTotalTimeoutConstant);
    TimePoint intervalDeadline{};
    const bool useInterval = t.ReadIntervalTimeout != 0 && !immediate;

    while (result.count < count) {
        TimePoint deadline = totalDeadline;
        bool unlimited = noTotal;
        if (useInterval && result.count > 0) {
            if (unlimited || intervalDeadline < deadline)
                deadline = intervalDeadline;
            unlimited = false;
        }
        int ready = immediate ? 1 : PollFor(POLLIN, deadline, unlimited);
        if (ready < 0) {
            result.gone = true;
            break;
        }
        if (ready == 0)
            break;
        const ssize_t n = RetryOnEintr(
            [&] { return ::read(fd_.Get(), buffer + result.count, count - result.count); });
        if (n > 0) {
            result.count += size_t(n);
            intervalDeadline = Clock::now() + std::chrono::milliseconds(t.ReadIntervalTimeout);
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (immediate)
                break;
            continue;
        }
        // read() of 0 after poll said readable, or EIO: the adapter is gone.
        int error = n == 0 ? EIO : errno;
        Fail(error);
        gone_ = result.gone = IsGoneError(error);
        if (!result.gone)
            WaitOutFailedRead(start, t, count);
        break;
    }
    return result;
}

IoResult PosixSerialPort::WriteFile(const uint8_t* data, size_t count) {
    IoResult result;
    if (!fd_.Valid() || gone_) {
        result.gone = gone_;
        return result;
    }
    const auto t = timeouts_;
    const bool unlimited = t.WriteTotalTimeoutMultiplier == 0 && t.WriteTotalTimeoutConstant == 0;
    const auto deadline =
        Clock::now() + std::chrono::milliseconds(uint64_t(t.WriteTotalTimeoutMultiplier) * count +
                                                 t.WriteTotalTimeoutConstant);
    while (result.count < count) {
        const ssize_t n = RetryOnEintr(
            [&] { return ::write(fd_.Get(), data + result.count, count - result.count); });
        if (n > 0) {
            result.count += size_t(n);
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            int ready = PollFor(POLLOUT, deadline, unlimited);
            if (ready < 0)
                result.gone = true;
            if (ready <= 0)
                break;
            continue;
        }
        int error = n == 0 ? EIO : errno;
        Fail(error);
        gone_ = result.gone = IsGoneError(error) || error == EPIPE;
        break;
    }
    return result;
}

void PosixSerialPort::CloseHandle() {
    if (!fd_.Valid())
        return;
    // An FTDI adapter would otherwise keep its 1 ms latency timer for every later program.
    if (addedLowLatency_)
        EndLowLatency(fd_.Get());
    if (haveSaved_)
        (void)tcsetattr(fd_.Get(), TCSANOW, &saved_);
    // The exclusive flag outlives this descriptor while anyone else keeps the line open.
    (void)ioctl(fd_.Get(), TIOCNXCL);
    (void)flock(fd_.Get(), LOCK_UN);
    fd_.Reset();
    haveSaved_ = false;
    addedLowLatency_ = false;
}

std::unique_ptr<SerialPort> CreateSerialPort() {
    return std::make_unique<PosixSerialPort>();
}
