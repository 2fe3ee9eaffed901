// The serial rules every backend shares: time limits, failed reads, vanished ports.
#include "SerialPort.h"

#include <cerrno>
#include <thread>

std::chrono::milliseconds ReadTotalLimit(const CommTimeouts& timeouts, size_t count) {
    return std::chrono::milliseconds(uint64_t(timeouts.ReadTotalTimeoutMultiplier) * count +
                                     timeouts.ReadTotalTimeoutConstant);
}

void WaitOutFailedRead(std::chrono::steady_clock::time_point start, const CommTimeouts& timeouts,
                       size_t count) {
    auto limit = ReadTotalLimit(timeouts, count);
    if (limit.count() == 0)
        limit = std::chrono::milliseconds(100);
    std::this_thread::sleep_until(start + limit);
}

bool Win32ErrorMeansPortGone(uint32_t error) {
    switch (error) {
    case Win32Error::AccessDenied: // after open: the driver has let go of the device
    case Win32Error::InvalidHandle:
    case Win32Error::BadCommand:
    case Win32Error::GenFailure:
    case Win32Error::DevNotExist:
    case Win32Error::DeviceNotConnected:
    case Win32Error::DeviceRemoved:
        return true;
    default:
        return false;
    }
}

PortFailure PosixPortFailure(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
        return PortFailure::NoPermission;
    case EBUSY: // also a lock that another program holds
        return PortFailure::HeldByOtherProgram;
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return PortFailure::NoSuchPort;
    default:
        return PortFailure::System;
    }
}

PortFailure Win32PortFailure(uint32_t error) {
    switch (error) {
    case Win32Error::AccessDenied:
        return PortFailure::HeldByOtherProgram;
    case Win32Error::FileNotFound:
        return PortFailure::NoSuchPort;
    default:
        return PortFailure::System;
    }
}
