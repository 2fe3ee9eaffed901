// The simulated Morvik 2 on a pseudo-terminal.
#pragma once

#include "Bootloader.h"
#include "UniqueFd.h"

#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

struct DeviceOptions {
    int powerOnAfter = 0;  // sync bytes ignored before the device answers
    Fault fault;           // a fault to show on purpose
    int baud = 0;          // pace both directions like a real line; 0 = as fast as possible
    int replyDelayMs = 0;  // a slow device
    bool once = false;     // stop after the first end command
    std::string imagePath; // after each end command, write the image there as Intel HEX
    bool log = false;      // one line on stderr per frame and end command, as they arrive
};

// The simulated Morvik 2 on the master side of a pseudo-terminal; programs open the slave
// side like a serial port. Runs in the foreground (Run) or on its own thread (Start).
class PtyDevice {
public:
    explicit PtyDevice(DeviceOptions options); // throws std::runtime_error
    ~PtyDevice();
    PtyDevice(const PtyDevice&) = delete;
    PtyDevice& operator=(const PtyDevice&) = delete;

    const std::string& SlavePath() const { return slavePath_; }

    // Runs until Stop(), the first end command with `once`, or a hangup fault.
    void Run();
    void Start();
    void Stop(); // safe from a signal handler

    // A copy of the device's state, taken under the lock.
    Bootloader Snapshot() const;
    bool HungUp() const { return hungUp_; }

private:
    using Clock = std::chrono::steady_clock;
    struct Pending {
        Clock::time_point due;
        uint8_t byte;
    };

    void Receive(const uint8_t* bytes, size_t count, Clock::time_point arrived);
    void Transmit(Clock::time_point now);
    void WriteImage(const Bootloader& device) const;
    void HangUp();
    void AwaitRelease();

    DeviceOptions options_;
    Clock::duration byteTime_{};
    UniqueFd master_;
    UniqueFd wakeRead_, wakeWrite_;
    std::string slavePath_;
    mutable std::mutex mutex_;
    Bootloader device_;
    std::deque<Pending> outgoing_;
    std::optional<Clock::time_point> hangUpAt_;
    Clock::time_point rxFree_{}, txFree_{};
    std::atomic<bool> stop_{false};
    std::atomic<bool> hungUp_{false};
    bool finished_ = false;
    std::thread thread_;
};
