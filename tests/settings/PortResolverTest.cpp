// Where a port name leads on Linux: the device that section [Ports] of MV2.ini names for COMn,
// else the built-in serial device, a device path as it is.
#include "PortResolver.h"
#include "TempDir.h"

#include <gtest/gtest.h>

namespace {

TEST(ResolvePortPath, ComNamesMapToTheSectionOrToTheSerialDevices) {
    TempDir dir;
    dir.Write("MV2.ini", "[Ports]\r\nCOM3=/dev/ttyUSB0\r\nCOM5=\r\nCOM23=/dev/ttyUSB3\r\n"
                         "COM03=/dev/ttyUSB9\r\n");
    const std::optional<std::string> ini = dir.Path("MV2.ini"), none;
    const std::optional<std::string> missing = dir.Path("gone/MV2.ini");
    struct Case {
        const char* port;
        std::optional<std::string> portsFile;
        std::string path;
    };
    const std::vector<Case> cases = {
        {"COM1", ini, "/dev/ttyS0"},
        {"COM16", ini, "/dev/ttyS15"},
        {"COM3", ini, "/dev/ttyUSB0"},
        {"\\\\.\\COM3", ini, "/dev/ttyUSB0"}, // COM3 by its Windows device name
        {"COM4", ini, "/dev/ttyS3"},
        {"COM5", ini, "/dev/ttyS4"}, // an empty entry maps nothing
        {"COM23", ini, "/dev/ttyUSB3"},
        {"COM23", none, "/dev/ttyS22"},
        {"COM256", none, "/dev/ttyS255"},
        {"COM3", missing, "/dev/ttyS2"},
        {"/dev/ttyACM1", ini, "/dev/ttyACM1"},
        {"\\\\.\\/dev/ttyUSB0", none, "/dev/ttyUSB0"},
        // What the window and the command line refuse as COMn is no COMn here either.
        {"\\\\.\\COM03", ini, "COM03"},
        {"\\\\.\\COM257", none, "COM257"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.port);
        EXPECT_EQ(ResolvePortPath(c.port, c.portsFile), c.path);
    }
}

} // namespace
