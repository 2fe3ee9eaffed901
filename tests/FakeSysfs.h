#pragma once

// A made-up sysfs and /dev laid out as Linux lays them out for serial ports, so that the port
// list can be read from it instead of the machine's.
#include "TempDir.h"

#include <filesystem>
#include <string>

class FakeSysfs {
public:
    FakeSysfs() : sys(dir.Path("sys")), dev(dir.Path("dev")) {
        std::filesystem::create_directories(sys / "class" / "tty");
        std::filesystem::create_directories(dev);
    }

    // A file of sysfs, with the line end the kernel writes.
    void Attribute(const std::filesystem::path& path, const std::string& value) {
        std::filesystem::create_directories(path.parent_path());
        dir.Write(std::filesystem::relative(path, dir.Path()).string(), value + "\n");
    }

    // /sys/class/tty/<name> and /dev/<name>; with a device behind it when `device` is given.
    void Tty(const std::string& name, const std::filesystem::path& device = {}) {
        const std::filesystem::path tty = sys / "class" / "tty" / name;
        std::filesystem::create_directories(tty);
        dir.Write(std::filesystem::relative(dev / name, dir.Path()).string(), "");
        if (!device.empty()) {
            std::filesystem::create_directories(device);
            std::filesystem::create_directory_symlink(device, tty / "device");
        }
    }

    void Driver(const std::filesystem::path& device, const std::string& name,
                const std::string& bus = "bus") {
        const std::filesystem::path driver = sys / "bus" / bus / "drivers" / name;
        std::filesystem::create_directories(driver);
        std::filesystem::create_directory_symlink(driver, device / "driver");
        std::filesystem::create_directory_symlink(sys / "bus" / bus, device / "subsystem");
    }

    // A USB serial converter on ttyUSB0 (FTDI's IDs), with its /dev/serial/by-id link;
    // returns that link.
    std::filesystem::path UsbConverter() {
        const std::filesystem::path ftdi =
            sys / "devices" / "pci0000:00" / "0000:00:14.0" / "usb1" / "1-1";
        Attribute(ftdi / "idVendor", "0403");
        Attribute(ftdi / "idProduct", "6001");
        Attribute(ftdi / "manufacturer", "FTDI");
        Attribute(ftdi / "product", "FT232R USB UART");
        Attribute(ftdi / "serial", "A50285BI");
        Attribute(ftdi / "1-1:1.0" / "bInterfaceNumber", "00");
        Tty("ttyUSB0", ftdi / "1-1:1.0" / "ttyUSB0");
        Driver(ftdi / "1-1:1.0" / "ttyUSB0", "ftdi_sio");
        std::filesystem::create_directories(dev / "serial" / "by-id");
        const std::filesystem::path stable =
            dev / "serial" / "by-id" / "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
        std::filesystem::create_symlink("../../ttyUSB0", stable);
        return stable;
    }

    // The PC's own UART on ttyS0, below the serial core's controller and port (Linux 6.5 on).
    void PlainUart() {
        const std::filesystem::path platform = sys / "devices" / "platform" / "serial8250";
        const std::filesystem::path controller = platform / "serial8250:0";
        Tty("ttyS0", controller / "serial8250:0.0");
        Attribute(sys / "class" / "tty" / "ttyS0" / "type", "4");
        Driver(platform, "serial8250", "platform");
        Driver(controller, "ctrl", "serial-base");
        Driver(controller / "serial8250:0.0", "port", "serial-base");
    }

    TempDir dir;
    std::filesystem::path sys, dev;
};
