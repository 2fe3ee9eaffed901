// Where a port name leads, and whether two paths name one device.
#pragma once

#include "SerialPortList.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Where a port name leads: the path a run opens. Looked up once for each run, so that an edit of
// the settings file takes effect with the next. On POSIX "COMn" (or "\\.\COMn") is the device
// that key COMn of section [Ports] in the settings file at `portsFile` names (the program never
// writes that section), else /dev/ttyS(n-1); on Windows it is \\.\COMn. Device paths stay.
std::string ResolvePortPath(const std::string& port, const std::optional<std::string>& portsFile);

// Whether two paths name one thing: the same character device, the same file, or, where the
// system cannot tell (a path that does not exist), the same path once links are followed.
bool SameDevice(const std::string& a, const std::string& b);

// The first two of `paths` (as ResolvePortPath gives them) that lead to one device, as their
// indices.
std::optional<std::pair<size_t, size_t>> FirstSameDevice(const std::vector<std::string>& paths);

// A port named by its adapter's USB identity: "usb:VID:PID" (the one adapter with that vendor and
// product ID), "usb:VID:PID:SERIAL" (and that serial number), "usb:VID:PID:*" (every such
// adapter). VID and PID are hexadecimal, in either case.
struct UsbPortName {
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    std::string serialNumber; // empty: any
    bool every = false;
};

// Whether `port` is meant as a USB identity: it starts with "usb:".
bool IsUsbPortName(const std::string& port);
// Nothing for a name that starts with "usb:" but is none of the three forms.
std::optional<UsbPortName> ParseUsbPortName(const std::string& port);

// The adapters of `present` that `name` matches, in the order a gang takes them: by stable path
// where every one has one (it does not change when they are plugged elsewhere), else by device
// name as the enumeration orders them.
std::vector<SerialPortInfo> MatchingAdapters(const UsbPortName& name,
                                             const std::vector<SerialPortInfo>& present);
