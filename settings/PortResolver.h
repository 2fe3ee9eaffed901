#pragma once

#include "SerialPort.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

// Where a port name leads: the path the serial port opens. On POSIX "COMn" is what key COMn of
// section [Ports] names, else /dev/ttyS(n-1); on Windows it is \\.\COMn. Device paths stay.
std::string ResolvePortPath(const std::string& port, const PortLookup& lookup);

// Whether two paths name one thing: the same character device, the same file, or, where the
// system cannot tell (a path that does not exist), the same path once links are followed.
bool SameDevice(const std::string& a, const std::string& b);

// The first two of `ports` that lead to one device, as their indices.
std::optional<std::pair<size_t, size_t>> FirstSameDevice(const std::vector<std::string>& ports,
                                                         const PortLookup& lookup);
