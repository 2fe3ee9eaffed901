// The simulated device served on a pseudo-terminal, paced like a real line.
#include "PtyDevice.h"

#include "RetryOnEintr.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <stdexcept>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

void SetNonBlocking(int fd) {
    (void)fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

std::runtime_error SystemError(const std::string& what) {
    return std::runtime_error(what + ": " + std::strerror(errno));
}

} // namespace

PtyDevice::PtyDevice(DeviceOptions options)
    : options_(std::move(options)), device_(options_.powerOnAfter, options_.fault) {
    if (options_.baud > 0)
        byteTime_ = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
            10.0 / options_.baud)); // start bit, 8 data bits, stop bit
    master_.Reset(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!master_.Valid() || grantpt(master_.Get()) != 0 || unlockpt(master_.Get()) != 0)
        throw SystemError("pseudo-terminal");
    char name[256];
    if (ptsname_r(master_.Get(), name, sizeof name) != 0)
        throw SystemError("ptsname");
    slavePath_ = name;
    // Set through the master: the device keeps no descriptor of the slave, whose programs would
    // otherwise find the port held by another program.
    termios tio{};
    tcgetattr(master_.Get(), &tio);
    cfmakeraw(&tio);
    cfsetspeed(&tio, B115200);
    tcsetattr(master_.Get(), TCSANOW, &tio);
    SetNonBlocking(master_.Get());
    int wake[2];
    if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0)
        throw SystemError("pipe");
    wakeRead_.Reset(wake[0]);
    wakeWrite_.Reset(wake[1]);
}

PtyDevice::~PtyDevice() {
    Stop();
    if (thread_.joinable())
        thread_.join();
}

void PtyDevice::Start() {
    thread_ = std::thread([this] { Run(); });
}

void PtyDevice::Stop() {
    stop_ = true;
    if (wakeWrite_.Valid())
        (void)!write(wakeWrite_.Get(), "x", 1);
}

Bootloader PtyDevice::Snapshot() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return device_;
}

void PtyDevice::HangUp() {
    master_.Reset();
    hungUp_ = true;
}

// Closing the master at once would hang the line up under the program, and a hangup drops the
// reply it has not read yet; so the device waits until the program has let go of the port.
void PtyDevice::AwaitRelease() {
    pollfd fds[2] = {{master_.Get(), 0, 0}, {wakeRead_.Get(), POLLIN, 0}};
    const timespec limit{5, 0};
    (void)RetryOnEintr([&] { return ppoll(fds, 2, &limit, nullptr); });
}

void PtyDevice::WriteImage(const Bootloader& device) const {
    if (options_.imagePath.empty())
        return;
    // Written aside and renamed, so that a reader never sees half an image.
    const std::string temp = options_.imagePath + ".part";
    if (FILE* out = std::fopen(temp.c_str(), "wb")) {
        const std::string hex = device.ImageHex();
        bool ok = std::fwrite(hex.data(), 1, hex.size(), out) == hex.size();
        ok = std::fclose(out) == 0 && ok;
        if (ok)
            std::rename(temp.c_str(), options_.imagePath.c_str());
    }
}

// The device takes each byte in at once but answers only from the moment the byte would
// have finished arriving on the wire; so the loop wakes only when a reply byte is due.
void PtyDevice::Receive(const uint8_t* bytes, size_t count, Clock::time_point arrived) {
    for (size_t i = 0; i < count && !hangUpAt_; ++i) {
        rxFree_ = std::max(arrived, rxFree_) + byteTime_;
        const auto due = rxFree_;
        Bootloader::Reply reply;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            const int frames = device_.Frames();
            reply = device_.Receive(&bytes[i], 1);
            if (reply.endCommand)
                WriteImage(device_);
            if (options_.log && device_.Frames() != frames)
                std::fprintf(stderr, "frame %d\n", device_.Frames());
            if (options_.log && reply.endCommand)
                std::fprintf(stderr, "end\n");
        }
        if (reply.hangup)
            hangUpAt_ = due;
        const auto start = due + std::chrono::milliseconds(options_.replyDelayMs);
        for (uint8_t byte : reply.bytes) {
            txFree_ = std::max(start, txFree_) + byteTime_;
            outgoing_.push_back({txFree_, byte});
        }
        if (reply.endCommand && options_.once)
            finished_ = true; // once the reply is out
    }
}

void PtyDevice::Transmit(Clock::time_point now) {
    uint8_t chunk[256];
    size_t n = 0;
    while (n < sizeof chunk && n < outgoing_.size() && outgoing_[n].due <= now) {
        chunk[n] = outgoing_[n].byte;
        ++n;
    }
    if (n == 0)
        return;
    ssize_t written = ::write(master_.Get(), chunk, n);
    for (ssize_t i = 0; i < written; ++i)
        outgoing_.pop_front();
}

void PtyDevice::Run() {
    // A paced byte lasts 87 us; the kernel's default 50 us of timer slack would add up to a
    // slower line than the real one.
    (void)prctl(PR_SET_TIMERSLACK, 1UL);
    for (;;) {
        auto now = Clock::now();
        if (hangUpAt_ && *hangUpAt_ <= now) {
            HangUp();
            break;
        }
        Transmit(now);
        if (stop_)
            break;
        if (finished_ && outgoing_.empty()) {
            AwaitRelease();
            break;
        }

        // A reply byte that is due but did not fit waits for POLLOUT, not for a timeout.
        const bool sending = !outgoing_.empty() && outgoing_.front().due <= Clock::now();
        std::optional<Clock::time_point> next = hangUpAt_;
        if (!outgoing_.empty() && !sending && (!next || outgoing_.front().due < *next))
            next = outgoing_.front().due;
        timespec timeout{};
        timespec* wait = nullptr;
        if (next) {
            auto left = std::max(Clock::duration::zero(), *next - Clock::now());
            auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            timeout = {time_t(ns / 1000000000), long(ns % 1000000000)};
            wait = &timeout;
        }
        pollfd fds[2] = {{master_.Get(), short(POLLIN | (sending ? POLLOUT : 0)), 0},
                         {wakeRead_.Get(), POLLIN, 0}};
        if (RetryOnEintr([&] { return ppoll(fds, 2, wait, nullptr); }) < 0)
            break;
        const short lineEnded = fds[0].revents & (POLLHUP | POLLERR | POLLNVAL);
        if (lineEnded && !(fds[0].revents & POLLIN)) {
            if (lineEnded != POLLHUP)
                break; // the line is dead; waiting on it again would spin
            // The program has closed the port, and the master says so at once until one opens
            // it again: look again a little later.
            pollfd wake{wakeRead_.Get(), POLLIN, 0};
            const timespec pause{0, 10 * 1000 * 1000};
            (void)ppoll(&wake, 1, &pause, nullptr);
        }
        if (fds[0].revents & POLLIN) {
            uint8_t buffer[4096];
            ssize_t count = ::read(master_.Get(), buffer, sizeof buffer);
            if (count > 0)
                Receive(buffer, size_t(count), Clock::now());
        }
        if (fds[1].revents & POLLIN) {
            char drain[16];
            while (::read(wakeRead_.Get(), drain, sizeof drain) > 0) {
            }
        }
    }
}
