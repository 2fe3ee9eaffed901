// --list-ports (each port with the COMn names MV2.ini gives it) and the runs --port names.
#include "PortListing.h"

#include "MessageText.h"
#include "PortResolver.h"
#include "SerialPort.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace {

namespace fs = std::filesystem;

// Where a path finally leads; the path itself when that cannot be found out.
fs::path Resolved(const std::string& path) {
    std::error_code error;
    fs::path resolved = fs::weakly_canonical(fs::u8path(path), error);
    return error ? fs::u8path(path) : resolved;
}

// Tabs in an adapter's strings would break the columns, escape sequences act on the terminal.
void Field(std::string& line, const std::string& label, const std::string& value) {
    if (!value.empty())
        line += "\t" + label + Printable(value);
}

} // namespace

std::vector<std::string>
MappedComNames(const SerialPortInfo& port,
               const std::vector<std::pair<std::string, std::string>>& portsSection) {
    std::vector<std::string> names;
    // Only device paths are mapped: Windows opens COMn itself.
    if (!IsDevicePath(port.name))
        return names;
    const fs::path device = Resolved(port.name);
    for (const auto& [key, value] : portsSection) {
        if (ComNumber(key) == 0 || value.empty())
            continue;
        if (value == port.name || value == port.stablePath || Resolved(value) == device)
            names.push_back(key);
    }
    return names;
}

std::string PortLine(const SerialPortInfo& port, const std::vector<std::string>& comNames) {
    std::string line = Printable(port.name);
    std::string mapped;
    for (const std::string& name : comNames)
        mapped += (mapped.empty() ? "" : ", ") + name;
    Field(line, "MV2.ini: ", mapped);
    Field(line, "", port.description);
    Field(line, "Treiber: ", port.driver);
    if (port.vendorId || port.productId) {
        char id[16];
        std::snprintf(id, sizeof id, "%04x:%04x", port.vendorId, port.productId);
        Field(line, "USB: ", id);
    }
    Field(line, "Hersteller: ", port.manufacturer);
    if (port.product != port.description)
        Field(line, "Produkt: ", port.product);
    Field(line, "Seriennummer: ", port.serialNumber);
    Field(line, "", port.stablePath);
    return line;
}

std::string UsbIdentity(const SerialPortInfo& port) {
    if (!port.vendorId && !port.productId)
        return {};
    char id[16];
    std::snprintf(id, sizeof id, "usb:%04x:%04x", port.vendorId, port.productId);
    return id + (port.serialNumber.empty() ? "" : ":" + port.serialNumber);
}

namespace {

// "/dev/ttyUSB0 (usb:0403:6001:A50285BI)".
std::string Candidate(const SerialPortInfo& port) {
    return Printable(port.name) + " (" + Printable(UsbIdentity(port)) + ")";
}

std::string NoAdapterText(const std::string& name, const std::vector<SerialPortInfo>& present) {
    std::string text = "Kein USB-Adapter passt auf " + Printable(name) + ".";
    std::string adapters;
    for (const SerialPortInfo& port : present) {
        if (UsbIdentity(port).empty())
            continue;
        adapters += "\n  " + Printable(port.name) + "  " + Printable(UsbIdentity(port));
        if (!port.description.empty())
            adapters += "  " + Printable(port.description);
    }
    return text + (adapters.empty() ? "\nEs ist kein USB-Adapter angeschlossen."
                                    : "\nVorhandene USB-Adapter:" + adapters);
}

} // namespace

PortRuns ResolvePortNames(const std::vector<std::string>& names,
                          const std::vector<SerialPortInfo>& present, const std::string& source) {
    PortRuns resolved;
    for (const std::string& name : names) {
        if (!IsUsbPortName(name)) {
            resolved.runs.push_back({name, name, "", ""});
            continue;
        }
        const std::optional<UsbPortName> usb = ParseUsbPortName(name);
        if (!usb) {
            resolved.usageError = source + ": \"" + Printable(name) +
                                  "\" ist keine USB-Kennung: usb:VID:PID, "
                                  "usb:VID:PID:SERIENNUMMER oder usb:VID:PID:*.";
            return resolved;
        }
        const std::vector<SerialPortInfo> matches = MatchingAdapters(*usb, present);
        if (matches.empty()) {
            resolved.runs.push_back({name, name, NoAdapterText(name, present), ""});
        } else if (matches.size() > 1 && !usb->every) {
            std::string candidates;
            for (const SerialPortInfo& port : matches)
                candidates += (candidates.empty() ? "" : ", ") + Candidate(port);
            resolved.usageError = source + ": \"" + Printable(name) +
                                  "\" passt auf mehrere Adapter: " + candidates +
                                  "; die Seriennummer wählt einen, :* nimmt alle.";
            return resolved;
        } else {
            for (const SerialPortInfo& port : matches)
                resolved.runs.push_back({port.name, name, "", ""});
        }
    }
    return resolved;
}
