// The POSIX port list from a made-up sysfs tree laid out as Linux lays it out for a USB serial
// converter, a USB modem-class adapter and the PC's own UARTs.
#include "SerialPortList.h"
#include "FakeSysfs.h"
#include "TempDir.h"

#include <fcntl.h>
#include <filesystem>
#include <future>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

class SerialPortListTest : public ::testing::Test {
protected:
    SerialPortListTest() : tree(dir.Path()), sys(tree.sys), dev(tree.dev) {}

    TempDir dir;
    FakeSysfs tree;
    fs::path sys, dev;
};

TEST_F(SerialPortListTest, PortsWithHardwareAreListedWithWhatTheirDescriptorsSay) {
    const fs::path usb = sys / "devices" / "pci0000:00" / "0000:00:14.0" / "usb1";
    // A serial converter: the tty's device is a port below the USB interface.
    const fs::path stable = tree.UsbConverter("ttyUSB0", "1-1", "FT232R USB UART", "A50285BI");
    EXPECT_EQ(stable, dev / "serial" / "by-id" / "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");

    // A modem-class adapter: the tty's device is the interface, which names itself.
    const fs::path acm = usb / "1-2";
    tree.Attribute(acm / "idVendor", "2341");
    tree.Attribute(acm / "idProduct", "0043");
    tree.Attribute(acm / "product", "Board");
    tree.Attribute(acm / "1-2:1.0" / "bInterfaceNumber", "00");
    tree.Attribute(acm / "1-2:1.0" / "interface", "Morvik Adapter");
    tree.Tty("ttyACM0", acm / "1-2:1.0");
    tree.Driver(acm / "1-2:1.0", "cdc_acm");

    // The PC's UART below the serial core's controller and port (Linux 6.5 on), and slots of
    // the serial core where no UART answered.
    const fs::path platform = sys / "devices" / "platform" / "serial8250";
    tree.PlainUart();
    for (const char* empty : {"ttyS1", "ttyS2"}) {
        tree.Tty(empty, platform);
        tree.Attribute(sys / "class" / "tty" / empty / "type", "0");
    }
    // Consoles and pseudo-terminals: no device behind them.
    tree.Tty("tty0");
    tree.Tty("ptmx");
    // Numbers count as numbers.
    tree.Tty("ttyUSB10", sys / "devices" / "platform" / "other");

    const auto ports = EnumerateSerialPorts(sys.string(), dev.string());
    std::vector<std::string> names;
    for (const auto& port : ports)
        names.push_back(port.name);
    EXPECT_EQ(names,
              (std::vector<std::string>{(dev / "ttyACM0").string(), (dev / "ttyS0").string(),
                                        (dev / "ttyUSB0").string(), (dev / "ttyUSB10").string()}));
    ASSERT_EQ(ports.size(), 4u);

    const SerialPortInfo& modem = ports[0];
    EXPECT_EQ(modem.description, "Morvik Adapter");
    EXPECT_EQ(modem.driver, "cdc_acm");
    EXPECT_EQ(modem.vendorId, 0x2341);
    EXPECT_EQ(modem.productId, 0x0043);
    EXPECT_EQ(modem.stablePath, "");

    const SerialPortInfo& uart = ports[1];
    EXPECT_EQ(uart.description, "");
    EXPECT_EQ(uart.driver, "serial8250");
    EXPECT_EQ(uart.vendorId, 0);

    const SerialPortInfo& converter = ports[2];
    EXPECT_EQ(converter.description, "FT232R USB UART");
    EXPECT_EQ(converter.driver, "ftdi_sio");
    EXPECT_EQ(converter.manufacturer, "FTDI");
    EXPECT_EQ(converter.serialNumber, "A50285BI");
    EXPECT_EQ(converter.vendorId, 0x0403);
    EXPECT_EQ(converter.productId, 0x6001);
    EXPECT_EQ(converter.stablePath, stable.string());

    EXPECT_EQ(ports[3].description, "");
}

// Real sysfs holds small regular files only, but the list must not trust its tree: an attribute
// that is a FIFO without a writer would keep --list-ports and the window from ever coming up,
// one without an end would exhaust the memory. The port is listed without them.
TEST_F(SerialPortListTest, AttributesThatAreNoSmallFilesAreNotRead) {
    tree.UsbConverter();
    const fs::path usb = sys / "devices" / "pci0000:00" / "0000:00:14.0" / "usb1" / "1-1";
    const fs::path fifo = usb / "product";
    fs::remove(fifo);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    tree.Attribute(usb / "serial", std::string(1 << 20, 'A'));

    auto listing = std::async(std::launch::async, [&] { return tree.Ports(); });
    if (listing.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
        close(open(fifo.c_str(), O_WRONLY | O_NONBLOCK)); // lets the reader go on, and the test end
        FAIL() << "reading a FIFO attribute waits for a writer";
    }
    std::vector<SerialPortInfo> ports = listing.get();
    ASSERT_EQ(ports.size(), 1u);
    EXPECT_EQ(ports[0].product, "");
    EXPECT_EQ(ports[0].vendorId, 0x0403);
    EXPECT_LE(ports[0].serialNumber.size(), 4096u);

    // Only now: were such an attribute read whole, it would take all the memory there is.
    fs::remove(usb / "manufacturer");
    fs::create_symlink("/dev/zero", usb / "manufacturer");
    ports = tree.Ports();
    ASSERT_EQ(ports.size(), 1u);
    EXPECT_EQ(ports[0].manufacturer, "");
}

TEST_F(SerialPortListTest, ASystemWithoutSysfsHasNoPorts) {
    EXPECT_TRUE(EnumerateSerialPorts(dir.Path("nothing"), dir.Path("nowhere")).empty());
    fs::remove_all(sys / "class");
    EXPECT_TRUE(EnumerateSerialPorts(sys.string(), dev.string()).empty());
}

} // namespace
