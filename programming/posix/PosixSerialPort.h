// The serial port on POSIX, for the command-line tool's emergency restore too.
#pragma once

#include "SerialPort.h"
#include "UniqueFd.h"

#include <chrono>
#include <termios.h>

class PosixSerialPort : public SerialPort {
public:
    ~PosixSerialPort() override;

    bool Open(const std::string& devicePath) override;
    bool GetCommState() override;
    bool SetCommState() override;
    bool GetCommTimeouts(CommTimeouts& timeouts) override;
    bool SetCommTimeouts(const CommTimeouts& timeouts) override;
    bool PurgeComm(uint32_t flags) override;
    bool EscapeCommFunction(LineCode code) override;
    IoResult WriteFile(const uint8_t* data, size_t count) override;
    IoResult ReadFile(uint8_t* buffer, size_t count) override;
    void CloseHandle() override;

    bool IsOpen() const override { return fd_.Valid(); }
    PortError LastError() const override { return lastError_; }
    int NativeHandle() const { return fd_.Get(); }
    // Whether opening turned the driver's low-latency mode on, which closing turns off again.
    bool AddedLowLatency() const { return addedLowLatency_; }
    // Turns the low-latency mode off; async-signal-safe, for an exit that runs no destructors.
    static void EndLowLatency(int fd);

private:
    using Clock = std::chrono::steady_clock;
    using TimePoint = Clock::time_point;

    bool Fail(int error);
    // 1 ready, 0 deadline passed, -1 device gone.
    int PollFor(short events, TimePoint deadline, bool unlimited);

    UniqueFd fd_;
    bool gone_ = false;
    bool haveSaved_ = false;
    bool addedLowLatency_ = false;
    termios saved_{};
    termios current_{};
    CommTimeouts timeouts_{};
    PortError lastError_;
};
