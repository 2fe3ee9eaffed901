#include "SerialPort.h"

namespace {
const std::string devicePrefix = "\\\\.\\";

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}
} // namespace

std::string DevicePath(const std::string& port) {
    // The command-line tool also takes device paths; they pass through unchanged.
    if (StartsWith(port, devicePrefix) || StartsWith(port, "/"))
        return port;
    return devicePrefix + port;
}
