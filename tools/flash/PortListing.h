#pragma once

#include "SerialPortList.h"

#include <string>
#include <utility>
#include <vector>

// --list-ports: the system's serial ports, one a line.

// The COMn names whose entry in section "Ports" of MV2.ini (`portsSection`, key and value)
// leads to `port`, directly or through a link such as its /dev/serial/by-id name.
std::vector<std::string>
MappedComNames(const SerialPortInfo& port,
               const std::vector<std::pair<std::string, std::string>>& portsSection);

// The name to use first, then what is known about the port, tab-separated.
std::string PortLine(const SerialPortInfo& port, const std::vector<std::string>& comNames);
