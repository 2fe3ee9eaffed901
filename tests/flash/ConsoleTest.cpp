// What the command-line tool asks of the system before it writes a run log or trace.
#include "Console.h"
#include "FakeSysfs.h"
#include "TempDir.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// A serial port is a tty with a device behind it; a pseudo-terminal, /dev/null or a file is
// none. The made-up tree lets /dev/null pass for a UART.
TEST(AttachedTerminal, OnlyTtysWithADeviceBehindThemAreSerialPorts) {
    TempDir dir;
    const FakeSysfs tree(dir.Path());
    EXPECT_FALSE(IsAttachedTerminal("/dev/null", tree.sys.string()));
    tree.Tty("ttyS7", tree.sys / "devices" / "platform" / "serial8250" / "tty" / "ttyS7");
    struct stat null {};
    ASSERT_EQ(stat("/dev/null", &null), 0);
    fs::create_directories(tree.sys / "dev" / "char");
    fs::create_directory_symlink(
        tree.sys / "class" / "tty" / "ttyS7",
        tree.sys / "dev" / "char" /
            (std::to_string(major(null.st_rdev)) + ":" + std::to_string(minor(null.st_rdev))));
    EXPECT_TRUE(IsAttachedTerminal("/dev/null", tree.sys.string()));

    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    EXPECT_FALSE(IsAttachedTerminal(ptsname(master)));
    close(master);
    EXPECT_FALSE(IsAttachedTerminal("/dev/null"));
    dir.Write("run.log", "");
    EXPECT_FALSE(IsAttachedTerminal(dir.Path("run.log"), tree.sys.string()));
    EXPECT_FALSE(IsAttachedTerminal(dir.Path("not-yet.log")));
}

} // namespace
