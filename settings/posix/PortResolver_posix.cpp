// Port names resolved on POSIX: COMn through [Ports], devices by stat().
#include "PortResolver.h"

#include "ProfileFile.h"
#include "SerialPort.h"

#include <filesystem>
#include <sys/stat.h>
#include <system_error>

namespace {

// The path with every link followed as far as it exists; as it is when even that fails.
std::filesystem::path Resolved(const std::string& path) {
    std::error_code error;
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(path, error);
    return error ? std::filesystem::path(path).lexically_normal() : resolved;
}

} // namespace

std::string ResolvePortPath(const std::string& port, const std::optional<std::string>& portsFile) {
    // "\\.\COM3" is COM3 by the name Windows opens it as a device.
    const std::string name = port.compare(0, DevicePrefix.size(), DevicePrefix) == 0
                                 ? port.substr(DevicePrefix.size())
                                 : port;
    const int number = ComNumber(name);
    if (number == 0)
        return name; // a device path; anything else fails to open with the system's reason
    if (portsFile) {
        const std::string mapped = ProfileFile(*portsFile).ReadString("Ports", name, "");
        if (!mapped.empty())
            return mapped;
    }
    return "/dev/ttyS" + std::to_string(number - 1);
}

bool SameDevice(const std::string& a, const std::string& b) {
    struct stat first {
    }, second{};
    if (stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0) {
        // A device node may exist under several names and in several places.
        if (S_ISCHR(first.st_mode) || S_ISCHR(second.st_mode))
            return S_ISCHR(first.st_mode) && S_ISCHR(second.st_mode) &&
                   first.st_rdev == second.st_rdev;
        return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
    }
    return Resolved(a) == Resolved(b);
}
