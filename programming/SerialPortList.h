// The serial ports the system has, for the port lists.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A serial port the system reports. Everything but the name is empty or 0 where the system
// does not say.
struct SerialPortInfo {
    std::string name;        // what the port is opened by: "COM23" on Windows, a /dev path on POSIX
    std::string description; // the system's name for the adapter, as a user would recognise it
    std::string stablePath;  // POSIX: a /dev/serial/by-id link that survives replugging
    std::string driver;
    std::string manufacturer;
    std::string product; // the USB device's own name for itself
    std::string serialNumber;
    uint16_t vendorId = 0; // USB adapters only
    uint16_t productId = 0;
};

// The serial ports present now, in the platform's order: by COM number on Windows, by name
// (numbers counted as numbers) on POSIX. Never throws for a system that says nothing. On POSIX
// the environment variable MORVIK2_SYSFS_ROOT names a made-up sysfs tree to read instead of
// /sys, so that a process can be shown adapters the machine does not have.
std::vector<SerialPortInfo> EnumerateSerialPorts();

// POSIX: the same from a sysfs tree at `sysRoot` whose devices live under `devRoot`, so that a
// made-up tree can stand in for the machine's.
std::vector<SerialPortInfo> EnumerateSerialPorts(const std::string& sysRoot,
                                                 const std::string& devRoot);
