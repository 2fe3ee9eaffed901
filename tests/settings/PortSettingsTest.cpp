// Which port a command-line run takes without --port, and which MV2.ini maps its COMn name:
// the working directory's and the per-user settings file, each present or not.
#include "PortSettings.h"
#include "TempDir.h"

#include <cstdio>
#include <gtest/gtest.h>

namespace {

TEST(ChoosePorts, TheFirstSourceThatNamesAPortWinsAndItsFileMapsIt) {
    TempDir dir;
    dir.MakeDirectory("work");
    dir.MakeDirectory("user");
    const std::string work = dir.Path("work/MV2.ini"), user = dir.Path("user/MV2.ini");
    const SettingsFiles both{work, user};
    const std::optional<std::string> none;
    struct Case {
        const char* what;
        const char* workFile; // nullptr: none there
        const char* userFile;
        std::vector<std::string> given;
        std::string environment;
        SettingsFiles files;
        std::vector<std::string> ports;
        PortSource source;
        std::optional<std::string> portsFile;
    };
    const std::string com3 = "[Setup]\r\nPort=COM3\r\n", com4 = "[Setup]\r\nPort=COM4\r\n";
    const std::vector<Case> cases = {
        {"--port first",
         com3.c_str(),
         com4.c_str(),
         {"COM5", "COM6"},
         "COM7",
         both,
         {"COM5", "COM6"},
         PortSource::CommandLine,
         work},
        {"then MORVIK2_PORT",
         com3.c_str(),
         com4.c_str(),
         {},
         "/dev/ttyUSB1",
         both,
         {"/dev/ttyUSB1"},
         PortSource::Environment,
         work},
        {"MORVIK2_PORT empty: unset",
         com3.c_str(),
         com4.c_str(),
         {},
         "",
         both,
         {"COM3"},
         PortSource::WorkingDirectory,
         work},
        {"a working directory's file without Port",
         "[Ports]\r\nCOM4=/dev/ttyUSB0\r\n",
         com4.c_str(),
         {},
         "",
         both,
         {"COM4"},
         PortSource::UserFolder,
         user},
        {"a working directory's Port that names none",
         "[Setup]\r\nPort=com3\r\n",
         com4.c_str(),
         {},
         "",
         both,
         {"COM4"},
         PortSource::UserFolder,
         user},
        {"no file names one",
         "[Setup]\r\nPort=COM0\r\n",
         "[Setup]\r\n",
         {},
         "",
         both,
         {"COM1"},
         PortSource::Default,
         work},
        {"given, without a working directory's file",
         nullptr,
         com4.c_str(),
         {"COM2"},
         "",
         both,
         {"COM2"},
         PortSource::CommandLine,
         user},
        {"the default, mapped by the per-user file",
         nullptr,
         "[Ports]\r\nCOM1=/dev/ttyS4\r\n",
         {},
         "",
         both,
         {"COM1"},
         PortSource::Default,
         user},
        {"a deleted working directory",
         com3.c_str(),
         com4.c_str(),
         {},
         "",
         {none, user},
         {"COM4"},
         PortSource::UserFolder,
         user},
        {"no settings file at all",
         nullptr,
         nullptr,
         {},
         "",
         both,
         {"COM1"},
         PortSource::Default,
         none},
        {"no per-user folder",
         nullptr,
         nullptr,
         {"COM2"},
         "",
         {work, none},
         {"COM2"},
         PortSource::CommandLine,
         none},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::remove(work.c_str());
        std::remove(user.c_str());
        if (c.workFile)
            dir.Write("work/MV2.ini", c.workFile);
        if (c.userFile)
            dir.Write("user/MV2.ini", c.userFile);
        const PortChoice choice = ChoosePorts(c.given, c.environment, c.files);
        EXPECT_EQ(choice.ports, c.ports);
        EXPECT_EQ(choice.source, c.source);
        EXPECT_EQ(choice.portsFile, c.portsFile);
    }
}

} // namespace
