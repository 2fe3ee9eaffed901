// The serial ports from sysfs: every tty with a device behind it, USB adapters with what their
// descriptors say about them.
#include "SerialPortList.h"
#include "SmallFile.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <system_error>
#include <tuple>

namespace fs = std::filesystem;

namespace {

// The kernel writes an attribute into one page.
constexpr size_t AttributeLimit = 4096;

// An attribute's first line, without its line end; empty when there is none.
std::string Attribute(const fs::path& dir, const char* name) {
    std::string line = ReadSmallFile((dir / name).string(), AttributeLimit).value_or("");
    line.erase(std::min(line.find('\n'), line.size()));
    while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
        line.pop_back();
    return line;
}

uint16_t HexAttribute(const fs::path& dir, const char* name) {
    const std::string text = Attribute(dir, name);
    try {
        size_t used = 0;
        const unsigned long value = std::stoul(text, &used, 16);
        return used == text.size() && value <= 0xFFFF ? uint16_t(value) : 0;
    } catch (const std::exception&) {
        return 0;
    }
}

bool Exists(const fs::path& path) {
    std::error_code error;
    return fs::exists(path, error);
}

// The serial core keeps a tty for every port it could have; type 0 says no UART answered there
// (most of ttyS0 to ttyS31 on a PC).
bool IsEmptyUartSlot(const fs::path& tty) {
    return Exists(tty / "type") && Attribute(tty, "type") == "0";
}

std::string LinkName(const fs::path& link) {
    std::error_code error;
    const fs::path target = fs::read_symlink(link, error);
    return error ? std::string() : target.filename().string();
}

// Since Linux 6.5 a UART's tty hangs below a port and a controller device of the serial core,
// whose drivers are the core's own; the hardware is the first device above them.
fs::path HardwareOf(fs::path device) {
    for (int level = 0; level < 3 && LinkName(device / "subsystem") == "serial-base"; ++level)
        device = device.parent_path();
    return device;
}

void DescribeUsb(const fs::path& device, const fs::path& sysRoot, SerialPortInfo& port) {
    fs::path interface, usbDevice;
    // The tty's device is the USB interface (ACM) or a port below it (USB serial converters).
    fs::path dir = device;
    for (int level = 0; level < 3 && usbDevice.empty() && dir != sysRoot && dir.has_parent_path();
         ++level, dir = dir.parent_path()) {
        if (interface.empty() && Exists(dir / "bInterfaceNumber"))
            interface = dir;
        else if (Exists(dir / "idVendor"))
            usbDevice = dir;
    }
    if (usbDevice.empty())
        return;
    port.vendorId = HexAttribute(usbDevice, "idVendor");
    port.productId = HexAttribute(usbDevice, "idProduct");
    port.manufacturer = Attribute(usbDevice, "manufacturer");
    port.product = Attribute(usbDevice, "product");
    port.serialNumber = Attribute(usbDevice, "serial");
    if (!interface.empty())
        port.description = Attribute(interface, "interface");
    if (port.description.empty())
        port.description = port.product;
}

// Where each /dev/serial/by-id link leads.
std::map<fs::path, std::string> StablePaths(const fs::path& devRoot) {
    std::map<fs::path, std::string> links;
    std::error_code error;
    for (fs::directory_iterator it(devRoot / "serial" / "by-id", error), end; !error && it != end;
         it.increment(error)) {
        std::error_code resolveError;
        const fs::path target = fs::canonical(it->path(), resolveError);
        // Sorted iteration is not promised: the first name in order wins, every time.
        if (!resolveError) {
            auto [at, added] = links.emplace(target, it->path().string());
            if (!added && it->path().string() < at->second)
                at->second = it->path().string();
        }
    }
    return links;
}

// "ttyUSB10" after "ttyUSB9".
auto NaturalKey(const std::string& name) {
    const size_t digits = name.find_last_not_of("0123456789") + 1;
    const std::string number = name.substr(digits);
    return std::make_tuple(name.substr(0, digits), number.size(), number, name);
}

} // namespace

std::vector<SerialPortInfo> EnumerateSerialPorts(const std::string& sysRoot,
                                                 const std::string& devRoot) {
    std::vector<SerialPortInfo> ports;
    const auto stablePaths = StablePaths(devRoot);
    std::error_code error;
    for (fs::directory_iterator it(fs::path(sysRoot) / "class" / "tty", error), end;
         !error && it != end; it.increment(error)) {
        const fs::path tty = it->path();
        // Consoles, pseudo-terminals and the like have no device behind them.
        if (!Exists(tty / "device") || IsEmptyUartSlot(tty))
            continue;
        std::error_code resolveError;
        const fs::path device = HardwareOf(fs::canonical(tty / "device", resolveError));
        if (resolveError)
            continue;

        SerialPortInfo port;
        std::string node = tty.filename().string();
        std::replace(node.begin(), node.end(), '!', '/'); // sysfs writes '/' in names as '!'
        port.name = (fs::path(devRoot) / node).string();
        port.driver = LinkName(device / "driver");
        DescribeUsb(device, fs::canonical(sysRoot, resolveError), port);
        std::error_code nodeError;
        const auto stable = stablePaths.find(fs::weakly_canonical(port.name, nodeError));
        if (!nodeError && stable != stablePaths.end())
            port.stablePath = stable->second;
        ports.push_back(std::move(port));
    }
    std::sort(ports.begin(), ports.end(), [](const SerialPortInfo& a, const SerialPortInfo& b) {
        return NaturalKey(a.name) < NaturalKey(b.name);
    });
    return ports;
}

std::vector<SerialPortInfo> EnumerateSerialPorts() {
    const char* root = std::getenv("MORVIK2_SYSFS_ROOT");
    return EnumerateSerialPorts(root && *root ? root : "/sys", "/dev");
}
