#pragma once

#include "SerialPortList.h"

#include <filesystem>
#include <string>
#include <vector>

// A made-up sysfs tree and /dev below a folder, laid out as Linux lays them out, so that the port
// enumeration can be tried on adapters this machine does not have.
class FakeSysfs {
public:
    explicit FakeSysfs(const std::filesystem::path& root);

    std::filesystem::path sys, dev;

    // A file of sysfs, with the line end the kernel writes.
    void Attribute(const std::filesystem::path& path, const std::string& value) const;
    // /sys/class/tty/<name> and /dev/<name>; with a device behind it when `device` is given.
    void Tty(const std::string& name, const std::filesystem::path& device = {}) const;
    void Driver(const std::filesystem::path& device, const std::string& name,
                const std::string& bus = "bus") const;
    // A USB serial converter (by default FTDI's) on USB port `usbPort` (1-1, 1-2, ...) with its
    // tty below the USB interface and its /dev/serial/by-id link, as udev makes it; returns that
    // link.
    std::filesystem::path UsbConverter(const std::string& tty = "ttyUSB0",
                                       const std::string& usbPort = "1-1",
                                       const std::string& product = "FT232R USB UART",
                                       const std::string& serial = "A50285BI",
                                       const std::string& usbId = "0403:6001") const;
    // The PC's own UART on ttyS0, below the serial core's controller and port (Linux 6.5 on).
    void PlainUart() const;

    std::vector<SerialPortInfo> Ports() const;
};
