// The serial ports for --list-ports, one a line, and what each --port name stands for: its runs.
#pragma once

#include "SerialPortList.h"

#include <string>
#include <utility>
#include <vector>

// The COMn names whose entry in section "Ports" of MV2.ini (`portsSection`, key and value)
// leads to `port`, directly or through a link such as its /dev/serial/by-id name.
std::vector<std::string>
MappedComNames(const SerialPortInfo& port,
               const std::vector<std::pair<std::string, std::string>>& portsSection);

// The name to use first, then what is known about the port, tab-separated.
std::string PortLine(const SerialPortInfo& port, const std::vector<std::string>& comNames);

// "usb:0403:6001:A50285BI": how --port names the adapter by its USB identity; empty for a port
// that has none.
std::string UsbIdentity(const SerialPortInfo& port);

// One run of a command: the port it opens, and the name the user gave for it.
struct PortRun {
    std::string port;     // the name given, or for a usb: name its adapter's device
    std::string givenAs;  // for messages about the command line
    std::string noDevice; // for a usb: name that no adapter matches, what the run says instead
    std::string path;     // what the run opens (ResolvePortPath); empty without a device
};

struct PortRuns {
    std::vector<PortRun> runs;
    std::string usageError; // the runs are void when there is one
};

// The runs that the port names stand for, `present` being the serial ports there are. A usb:
// name stands for its one adapter, "usb:VID:PID:*" for every matching adapter; other names stand
// for themselves. A usb: name of none of its forms, or one that would have to choose among
// several adapters, is a usage error, named after `source` ("--port", "MORVIK2_PORT").
PortRuns ResolvePortNames(const std::vector<std::string>& names,
                          const std::vector<SerialPortInfo>& present, const std::string& source);
