#include "FakeSysfs.h"

#include <fstream>

namespace fs = std::filesystem;

FakeSysfs::FakeSysfs(const fs::path& root) : sys(root / "sys"), dev(root / "dev") {
    fs::create_directories(sys / "class" / "tty");
    fs::create_directories(dev);
}

void FakeSysfs::Attribute(const fs::path& path, const std::string& value) const {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << value << "\n";
}

void FakeSysfs::Tty(const std::string& name, const fs::path& device) const {
    const fs::path tty = sys / "class" / "tty" / name;
    fs::create_directories(tty);
    std::ofstream(dev / name, std::ios::binary).flush();
    if (!device.empty()) {
        fs::create_directories(device);
        fs::create_directory_symlink(device, tty / "device");
    }
}

void FakeSysfs::Driver(const fs::path& device, const std::string& name,
                       const std::string& bus) const {
    const fs::path driver = sys / "bus" / bus / "drivers" / name;
    fs::create_directories(driver);
    fs::create_directory_symlink(driver, device / "driver");
    fs::create_directory_symlink(sys / "bus" / bus, device / "subsystem");
}

fs::path FakeSysfs::UsbConverter(const std::string& tty, const std::string& usbPort,
                                 const std::string& product, const std::string& serial,
                                 const std::string& usbId) const {
    const fs::path usb = sys / "devices" / "pci0000:00" / "0000:00:14.0" / "usb1" / usbPort;
    Attribute(usb / "idVendor", usbId.substr(0, 4));
    Attribute(usb / "idProduct", usbId.substr(5));
    Attribute(usb / "manufacturer", "FTDI");
    Attribute(usb / "product", product);
    Attribute(usb / "serial", serial);
    const fs::path interface = usb / (usbPort + ":1.0");
    Attribute(interface / "bInterfaceNumber", "00");
    Tty(tty, interface / tty);
    Driver(interface / tty, "ftdi_sio");
    fs::create_directories(dev / "serial" / "by-id");
    std::string name = "usb-FTDI_" + product + "_" + serial + "-if00-port0";
    for (char& c : name)
        if (c == ' ')
            c = '_';
    const fs::path link = dev / "serial" / "by-id" / name;
    fs::create_symlink("../../" + tty, link);
    return link;
}

void FakeSysfs::PlainUart() const {
    const fs::path platform = sys / "devices" / "platform" / "serial8250";
    const fs::path controller = platform / "serial8250:0";
    Tty("ttyS0", controller / "serial8250:0.0");
    Attribute(sys / "class" / "tty" / "ttyS0" / "type", "4");
    Driver(platform, "serial8250", "platform");
    Driver(controller, "ctrl", "serial-base");
    Driver(controller / "serial8250:0.0", "port", "serial-base");
}

std::vector<SerialPortInfo> FakeSysfs::Ports() const {
    return EnumerateSerialPorts(sys.string(), dev.string());
}
