#include "SerialPort.h"

bool IsDevicePath(const std::string& port) {
    return port.compare(0, DevicePrefix.size(), DevicePrefix) == 0 ||
           port.find('/') != std::string::npos;
}

std::string DevicePath(const std::string& port) {
    return IsDevicePath(port) ? port : DevicePrefix + port;
}
