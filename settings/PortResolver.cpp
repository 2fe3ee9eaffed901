// Port names and paths alike on every platform: usb: names parsed, a gang's shared ports found.
#include "PortResolver.h"

#include "MessageText.h"

#include <algorithm>

std::optional<std::pair<size_t, size_t>> FirstSameDevice(const std::vector<std::string>& paths) {
    for (size_t later = 1; later < paths.size(); ++later)
        for (size_t earlier = 0; earlier < later; ++earlier)
            if (SameDevice(paths[earlier], paths[later]))
                return std::make_pair(earlier, later);
    return std::nullopt;
}

bool IsUsbPortName(const std::string& port) {
    return port.compare(0, 4, "usb:") == 0;
}

namespace {

// One to four hex digits, as lsusb and the port list write an ID.
std::optional<uint16_t> HexId(const std::string& text) {
    if (text.empty() || text.size() > 4 ||
        text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return std::nullopt;
    return uint16_t(std::stoul(text, nullptr, 16));
}

} // namespace

std::optional<UsbPortName> ParseUsbPortName(const std::string& port) {
    if (!IsUsbPortName(port))
        return std::nullopt;
    const size_t second = port.find(':', 4);
    if (second == std::string::npos)
        return std::nullopt;
    const size_t third = port.find(':', second + 1);
    const auto vendor = HexId(port.substr(4, second - 4));
    const auto product = HexId(port.substr(second + 1, third - second - 1));
    if (!vendor || !product)
        return std::nullopt;
    UsbPortName name{*vendor, *product, "", false};
    if (third == std::string::npos)
        return name;
    // A serial number is the adapter maker's text: it may hold colons itself.
    name.serialNumber = port.substr(third + 1);
    if (name.serialNumber.empty() || HasControlCharacter(name.serialNumber))
        return std::nullopt;
    if (name.serialNumber == "*") {
        name.serialNumber.clear();
        name.every = true;
    }
    return name;
}

std::vector<SerialPortInfo> MatchingAdapters(const UsbPortName& name,
                                             const std::vector<SerialPortInfo>& present) {
    std::vector<SerialPortInfo> matches;
    for (const SerialPortInfo& port : present)
        // A port without a USB identity (a UART) has vendor and product 0.
        if ((port.vendorId || port.productId) && port.vendorId == name.vendorId &&
            port.productId == name.productId &&
            (name.serialNumber.empty() || port.serialNumber == name.serialNumber))
            matches.push_back(port);
    if (std::all_of(matches.begin(), matches.end(),
                    [](const SerialPortInfo& port) { return !port.stablePath.empty(); }))
        std::stable_sort(matches.begin(), matches.end(),
                         [](const SerialPortInfo& a, const SerialPortInfo& b) {
                             return a.stablePath < b.stablePath;
                         });
    return matches;
}
