// The serial ports Windows knows: names from the serial device map, which every port driver
// (virtual ones too) fills in, and what Device Manager shows about them from SetupAPI.
#include "SerialPortList.h"

#include "Protocol.h"
#include "SerialPort.h"
#include "WideText.h"

#include <windows.h>

#include <setupapi.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <map>
#include <tuple>

namespace {

// Device Manager's class "Ports (COM & LPT)", and the interface COM port drivers of other
// classes (modems, say) register; spelled out so that no GUID library is linked for them.
constexpr GUID PortsClass = {
    0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
constexpr GUID ComPortInterface = {
    0x86e0d1e0, 0x8089, 0x11d0, {0x9c, 0xe4, 0x08, 0x00, 0x3e, 0x30, 0x1f, 0x73}};

// Registry texts need not end in a NUL; at most `bytes` of `data` are text.
std::string RegistryText(const wchar_t* data, DWORD bytes) {
    std::wstring text(data, bytes / sizeof(wchar_t));
    text.resize(std::wcslen(text.c_str()));
    return Narrow(text);
}

std::vector<std::string> SerialDeviceMap() {
    std::vector<std::string> names;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return names;
    DWORD values = 0, longestName = 0, longestData = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                         &longestName, &longestData, nullptr, nullptr) == ERROR_SUCCESS) {
        std::wstring valueName(longestName + 1, L'\0');
        std::wstring data(longestData / sizeof(wchar_t) + 1, L'\0');
        for (DWORD i = 0; i < values; ++i) {
            DWORD nameLength = DWORD(valueName.size());
            DWORD dataBytes = DWORD(data.size() * sizeof(wchar_t));
            DWORD type = 0;
            if (RegEnumValueW(key, i, valueName.data(), &nameLength, nullptr, &type,
                              reinterpret_cast<BYTE*>(data.data()), &dataBytes) == ERROR_SUCCESS &&
                type == REG_SZ) {
                std::string name = RegistryText(data.data(), dataBytes);
                if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end())
                    names.push_back(std::move(name));
            }
        }
    }
    RegCloseKey(key);
    return names;
}

std::string DeviceProperty(HDEVINFO devices, SP_DEVINFO_DATA& device, DWORD property) {
    wchar_t buffer[512];
    DWORD type = 0, bytes = 0;
    if (!SetupDiGetDeviceRegistryPropertyW(devices, &device, property, &type,
                                           reinterpret_cast<BYTE*>(buffer), sizeof buffer - 2,
                                           &bytes) ||
        (type != REG_SZ && type != REG_MULTI_SZ))
        return {};
    buffer[bytes / sizeof(wchar_t)] = L'\0';
    return RegistryText(buffer, bytes); // of a list, its first entry
}

std::string PortNameOf(HDEVINFO devices, SP_DEVINFO_DATA& device) {
    const HKEY key =
        SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE);
    if (key == INVALID_HANDLE_VALUE)
        return {};
    wchar_t buffer[256];
    DWORD type = 0, bytes = sizeof buffer - 2;
    std::string name;
    if (RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(buffer),
                         &bytes) == ERROR_SUCCESS &&
        type == REG_SZ)
        name = RegistryText(buffer, bytes);
    RegCloseKey(key);
    return name;
}

uint16_t HexAfter(const std::string& text, const char* tag) {
    const size_t at = text.find(tag);
    if (at == std::string::npos)
        return 0;
    unsigned value = 0;
    for (size_t i = at + std::strlen(tag); i < at + std::strlen(tag) + 4 && i < text.size(); ++i) {
        const int digit = HexDigit(text[i]);
        if (digit < 0)
            return 0;
        value = value * 16 + unsigned(digit);
    }
    return uint16_t(value);
}

// "USB\VID_0403&PID_6001\A50285BI": a USB device's instance ends in its serial number, unless
// Windows made one up (those hold '&').
std::string SerialNumberOf(HDEVINFO devices, SP_DEVINFO_DATA& device) {
    wchar_t buffer[512];
    if (!SetupDiGetDeviceInstanceIdW(devices, &device, buffer, 511, nullptr))
        return {};
    const std::string id = Narrow(buffer);
    const size_t last = id.rfind('\\');
    if (id.compare(0, 4, "USB\\") != 0 || last == std::string::npos ||
        id.find('&', last) != std::string::npos)
        return {};
    return id.substr(last + 1);
}

// What SetupAPI says about each port of `devices`, by port name; the first word on a port wins.
void Describe(HDEVINFO devices, std::map<std::string, SerialPortInfo>& ports) {
    if (devices == INVALID_HANDLE_VALUE)
        return;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(devices, i, &device); ++i) {
        const std::string name = PortNameOf(devices, device);
        if (name.empty() || ports.count(name))
            continue;
        SerialPortInfo& port = ports[name];
        port.name = name;
        port.description = DeviceProperty(devices, device, SPDRP_FRIENDLYNAME);
        if (port.description.empty())
            port.description = DeviceProperty(devices, device, SPDRP_DEVICEDESC);
        port.driver = DeviceProperty(devices, device, SPDRP_SERVICE);
        port.manufacturer = DeviceProperty(devices, device, SPDRP_MFG);
        const std::string hardwareId = DeviceProperty(devices, device, SPDRP_HARDWAREID);
        port.vendorId = HexAfter(hardwareId, "VID_");
        port.productId = HexAfter(hardwareId, "PID_");
        port.serialNumber = SerialNumberOf(devices, device);
    }
    SetupDiDestroyDeviceInfoList(devices);
}

} // namespace

std::vector<SerialPortInfo> EnumerateSerialPorts() {
    std::map<std::string, SerialPortInfo> described;
    Describe(SetupDiGetClassDevsW(&PortsClass, nullptr, nullptr, DIGCF_PRESENT), described);
    Describe(SetupDiGetClassDevsW(&ComPortInterface, nullptr, nullptr,
                                  DIGCF_PRESENT | DIGCF_DEVICEINTERFACE),
             described);

    std::vector<SerialPortInfo> ports;
    for (const std::string& name : SerialDeviceMap()) {
        const auto found = described.find(name);
        if (found != described.end()) {
            ports.push_back(found->second);
        } else {
            ports.emplace_back();
            ports.back().name = name;
        }
    }
    // Names that are no COMn (rare drivers choose their own) come last, by name.
    std::sort(ports.begin(), ports.end(), [](const SerialPortInfo& a, const SerialPortInfo& b) {
        const int na = ComNumber(a.name), nb = ComNumber(b.name);
        return std::make_tuple(na == 0, na, a.name) < std::make_tuple(nb == 0, nb, b.name);
    });
    return ports;
}
