// morvik2-flash against morvik2-sim on a pseudo-terminal: the real programs, the real POSIX
// serial backend, firmware files made by real tools.
#include "EndToEnd.h"
#include "PosixSerialPort.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <thread>

namespace {

TEST_F(FlashEndToEnd, FilesFromRealToolsArriveByteForByte) {
    if (!HaveProgram("objcopy") || !HaveProgram("srec_cat"))
        GTEST_SKIP() << "objcopy (binutils) or srec_cat (srecord) is not installed";
    struct Tool {
        const char* what;
        std::string command;
        size_t size;
    };
    const std::vector<Tool> tools = {
        // CR LF line ends and a "05" start address record.
        {"objcopy", "objcopy -I binary -O ihex --set-start 0x80000000 fw.bin 'Morvik2 update.QV'",
         6000},
        // 32 data bytes a record, with an "04" record of value zero in front.
        {"srec_cat", "srec_cat fw.bin -binary -o 'Morvik2 update.QV' -intel -output_block_size=32",
         8192},
    };
    for (const auto& tool : tools) {
        SCOPED_TRACE(tool.what);
        const std::string data = MakeData(tool.size);
        ASSERT_EQ(std::system(("cd '" + dir.Path() + "' && " + tool.command).c_str()), 0);
        StartSimulator({"--once"});
        auto flash = Flash({"--quiet"});
        EXPECT_EQ(flash->Wait(), 0) << flash->Stderr();
        EXPECT_EQ(Lines(flash->Stdout()), okStatuses);
        EXPECT_EQ(flash->Stderr(), "");
        EXPECT_EQ(sim->Wait(), 0);
        ExpectImageEquals(data);
    }
}

TEST_F(FlashEndToEnd, LatePowerOnAndPortsMappedThroughTheSettingsFile) {
    if (!HaveProgram("srec_cat"))
        GTEST_SKIP() << "srec_cat (srecord) is not installed";
    const std::string data = MakeData(1024);
    dir.Write("Morvik2 update.QV", HexFor(data));
    // No --port: the stored port, mapped to the simulator through section "Ports".
    dir.Write("MV2.ini", "[Setup]\r\nPort=COM7\r\n[Ports]\r\nCOM7=" + Link() + "\r\n");
    StartSimulator({"--once", "--power-on-after", "15"});
    Process flash({MORVIK2_FLASH}, dir.Path());
    EXPECT_EQ(flash.Wait(), 0) << flash.Stderr();
    EXPECT_EQ(Lines(flash.Stdout()), okStatuses);
    ExpectImageEquals(data);
    EXPECT_EQ(dir.Read("MV2.ini"), "[Setup]\r\nPort=COM7\r\n[Ports]\r\nCOM7=" + Link() + "\r\n");
}

// A USB adapter on Windows gets COM23 and the like: stored or given, such a port is used as it
// is, and on Linux mapped through section "Ports" like any other.
TEST_F(FlashEndToEnd, PortsAboveCom16FromTheSettingsFileOrTheCommandLine) {
    if (!HaveProgram("srec_cat"))
        GTEST_SKIP() << "srec_cat (srecord) is not installed";
    const std::string data = MakeData(512);
    dir.Write("Morvik2 update.QV", HexFor(data));
    const std::string ports = "[Ports]\r\nCOM23=" + Link() + "\r\n";
    for (const char* stored : {"COM23", "COM2"}) {
        SCOPED_TRACE(stored);
        const std::string ini = std::string("[Setup]\r\nPort=") + stored + "\r\n" + ports;
        dir.Write("MV2.ini", ini);
        StartSimulator({"--once"});
        // A wrong port must not leave the run searching for ever.
        std::vector<std::string> argv = {MORVIK2_FLASH, "--search-timeout", "60"};
        if (stored != std::string("COM23"))
            argv.insert(argv.end(), {"--port", "COM23"});
        Process flash(argv, dir.Path());
        EXPECT_EQ(flash.Wait(), 0) << flash.Stderr();
        EXPECT_EQ(Lines(flash.Stdout()), okStatuses);
        EXPECT_EQ(sim->Wait(), 0);
        ExpectImageEquals(data);
        EXPECT_EQ(dir.Read("MV2.ini"), ini);
    }
}

// Without --port the program reads MORVIK2_PORT and finds the per-user MV2.ini the installed
// window keeps (the order itself: ChoosePorts' tests). Each names a port that is not there, so
// the run says which one it took.
TEST_F(FlashEndToEnd, WithoutPortTheEnvironmentOrTheUsersSettingsNameIt) {
    dir.Write("Morvik2 update.QV", HexFor(MakeData(160)));
    dir.MakeDirectory("data");
    dir.MakeDirectory("data/morvik2");
    dir.Write("data/morvik2/MV2.ini",
              "[Setup]\r\nPort=COM4\r\n[Ports]\r\nCOM4=/dev/ttyMorvik2User\r\n");
    const std::string userFolder = "XDG_DATA_HOME=" + dir.Path("data");
    const std::string flash = MORVIK2_FLASH;
    struct Case {
        const char* what;
        std::vector<std::string> argv;
        std::vector<std::string> environment;
        const char* workingDirectoryFile; // nullptr: none
        int status;
        std::string stderrLine; // the second
    };
    const std::string missing =
        ": Diese Schnittstelle gibt es nicht; `morvik2-flash --list-ports` zeigt die vorhandenen.";
    const std::vector<Case> cases = {
        {"MORVIK2_PORT before MV2.ini",
         {flash},
         {"MORVIK2_PORT=/dev/ttyMorvik2Env", userFolder},
         "[Setup]\r\nPort=/dev/ttyMorvik2Here\r\n",
         3,
         "/dev/ttyMorvik2Env" + missing},
        {"the per-user MV2.ini in a deleted working directory",
         InDeletedDirectory({"--file", dir.Path("Morvik2 update.QV")}),
         {userFolder},
         nullptr,
         3,
         "/dev/ttyMorvik2User" + missing},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::remove(dir.Path("MV2.ini").c_str());
        if (c.workingDirectoryFile)
            dir.Write("MV2.ini", c.workingDirectoryFile);
        Process run(c.argv, dir.Path(), -1, {}, {{}, -1, c.environment});
        EXPECT_EQ(run.Wait(), c.status);
        const auto lines = Lines(run.Stderr());
        ASSERT_GE(lines.size(), 2u) << run.Stderr();
        EXPECT_EQ(lines[1], c.stderrLine);
    }
}

TEST_F(FlashEndToEnd, DeviceFaultsEndWithTheirMessagesAndExitStatus) {
    struct Case {
        std::string fault;
        int status;
        std::string messages;
        std::vector<std::string> options = {};
    };
    const std::vector<Case> cases = {
        {"silent@3", 1, "Verbindung Timeout!\nSchreibfehler!\n"},
        // -v names the record the device refused, and its answer.
        {"wrong@3",
         1,
         "Fehlgeschlagen bei Zeile 3, Adresse 0020: Antwort E4 E7\nSchreibfehler!\n",
         {"-v"}},
        {"wrong@3", 1, "Schreibfehler!\n"},
        {"short@3", 1, "Schreibfehler!\n"},
        {"hangup@3", 3, "Verbindung zur Schnittstelle unterbrochen!\nSchreibfehler!\n"},
        {"end-silent", 1, "Verbindung Timeout!\nSchreibfehler!\n"},
        {"end-wrong", 1, "Schreibfehler!\n"},
    };
    dir.Write("Morvik2 update.QV", HexFor(MakeData(160)));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        StartSimulator({"--fault", c.fault});
        auto flash = Flash(c.options);
        EXPECT_EQ(flash->Wait(), c.status);
        EXPECT_EQ(flash->Stderr(), c.messages);
        auto statuses = Lines(flash->Stdout());
        ASSERT_FALSE(statuses.empty());
        EXPECT_EQ(statuses.back(), "Schreibfehler!");
        // A failed frame ends the transfer there.
        if (c.fault.find('@') != std::string::npos) {
            EXPECT_EQ(SimulatorFrames(), 3);
            EXPECT_FALSE(SimulatorSawEnd());
        }
        if (c.fault.rfind("hangup", 0) != 0) // an unplugged adapter leaves no port to open
            ExpectPortFree();
        sim->Signal(SIGTERM);
        sim->Wait();
    }
}

TEST_F(FlashEndToEnd, StopSignalsEndTheSearchOrTheTransferPromptly) {
    dir.Write("Morvik2 update.QV", HexFor(MakeData(1600)));

    StartSimulator({"--power-on-after", "1000000"});
    auto searching = Flash();
    ASSERT_TRUE(searching->WaitForOutput("Suche nach Morvik 2."));
    searching->Signal(SIGINT);
    EXPECT_EQ(searching->Wait(10s), 2);
    EXPECT_EQ(Lines(searching->Stdout()).back(), "Suche abgebrochen.");
    EXPECT_EQ(searching->Stderr(), "");
    EXPECT_EQ(SimulatorFrames(), 0);
    sim->Signal(SIGTERM);
    sim->Wait();

    StartSimulator({"--reply-delay-ms", "30"});
    auto sending = Flash();
    ASSERT_TRUE(sim->WaitForOutput("frame 5\n", true));
    const int framesAtSignal = SimulatorFrames();
    sending->Signal(SIGINT);
    EXPECT_EQ(sending->Wait(10s), 2);
    EXPECT_EQ(Lines(sending->Stdout()).back(), "Schreiben abgebrochen!");
    EXPECT_LE(SimulatorFrames() - framesAtSignal, 2);
    EXPECT_FALSE(SimulatorSawEnd());
}

TEST_F(FlashEndToEnd, RefusesMissingAndBadFilesBeforeTheDeviceGetsAFrame) {
    StartSimulator();

    auto missing = Flash();
    EXPECT_EQ(missing->Wait(), 4);
    EXPECT_EQ(Lines(missing->Stderr())[0], "Keine hex Datei ausgewählt oder ");
    EXPECT_EQ(missing->Stdout(), "");

    dir.Write("Morvik2 update.QV", ":0400100012345678D8\n:0400140012345678D3\n:00000001FF\n");
    auto bad = Flash();
    EXPECT_EQ(bad->Wait(), 1);
    EXPECT_EQ(bad->Stderr(), "Fehler in Hex Datei!\nZeile 2: Prüfsumme falsch!\nSchreibfehler!\n");
    EXPECT_EQ(Lines(bad->Stdout()).back(), "Schreibfehler!");
    EXPECT_EQ(SimulatorFrames(), 0);
    EXPECT_FALSE(SimulatorSawEnd());
}

} // namespace
