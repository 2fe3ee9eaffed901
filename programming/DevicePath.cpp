// Port names: COMn and device paths, as the user may give them.
#include "SerialPort.h"

#include "MessageText.h"

bool IsDevicePath(const std::string& port) {
    return port.compare(0, DevicePrefix.size(), DevicePrefix) == 0 ||
           port.find('/') != std::string::npos;
}

int ComNumber(const std::string& port) {
    if (port.size() < 4 || port.size() > 6 || port.compare(0, 3, "COM") != 0 || port[3] == '0')
        return 0;
    int number = 0;
    for (size_t i = 3; i < port.size(); ++i) {
        if (port[i] < '0' || port[i] > '9')
            return 0;
        number = number * 10 + (port[i] - '0');
    }
    return number <= MaxComNumber ? number : 0;
}

bool IsPortName(const std::string& port) {
    return ComNumber(port) > 0 || (IsDevicePath(port) && !HasControlCharacter(port));
}
