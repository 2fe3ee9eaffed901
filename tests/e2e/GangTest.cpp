// Production use of the real command-line flasher: several simulated devices at once, the run
// log, JSON events, the wire trace, and the command line in German.
#include "EndToEnd.h"
#include "FakeSysfs.h"

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <thread>
#include <unistd.h>

namespace {

using Json = nlohmann::json;

class Gang : public FlashEndToEnd {
protected:
    // Simulated devices on links dev0, dev1, ..., each with its own options.
    void StartDevices(const std::vector<std::vector<std::string>>& options) {
        for (size_t i = 0; i < options.size(); ++i) {
            const std::string name = "dev" + std::to_string(i);
            devices.push_back(StartDevice(name, name, options[i]));
            links.push_back(dir.Path(name));
        }
        for (auto& device : devices)
            ASSERT_TRUE(device->WaitForOutput("/dev/")) << device->Stderr();
    }

    std::unique_ptr<Process> FlashAll(std::vector<std::string> options = {}) {
        std::vector<std::string> argv = {MORVIK2_FLASH};
        for (const std::string& link : links)
            argv.insert(argv.end(), {"--port", link});
        argv.insert(argv.end(), options.begin(), options.end());
        return std::make_unique<Process>(argv, dir.Path());
    }

    // The lines of `text` that belong to `port`, without their prefix.
    static std::vector<std::string> Of(const std::string& text, const std::string& port) {
        std::vector<std::string> lines;
        const std::string prefix = "[" + port + "] ";
        for (const std::string& line : Lines(text))
            if (line.rfind(prefix, 0) == 0)
                lines.push_back(line.substr(prefix.size()));
        return lines;
    }

    std::string Sha256Sum(const std::string& name) {
        EXPECT_EQ(
            std::system(("cd '" + dir.Path() + "' && sha256sum '" + name + "' > sum").c_str()), 0);
        return dir.Read("sum").substr(0, 64);
    }

    std::vector<std::unique_ptr<Process>> devices;
    std::vector<std::string> links;
};

TEST_F(Gang, FourDevicesAtOnceOneSilentTheOthersProgrammedAndLogged) {
    if (!HaveProgram("srec_cat") || !HaveProgram("sha256sum"))
        GTEST_SKIP() << "srec_cat (srecord) or sha256sum is not installed";
    const std::string data = MakeData(1600); // 100 records of 16 bytes
    dir.Write("Morvik2 update.QV", HexFor(data));
    const std::string earlier = "{\"an earlier run\":true}\n";
    dir.Write("run.log", earlier);
    StartDevices({{"--once"}, {"--once"}, {"--fault", "silent@3"}, {"--once"}});

    auto flash = FlashAll({"--log", "run.log"});
    EXPECT_EQ(flash->Wait(60s), 1) << flash->Stderr();

    // Every line whole and marked with its port; each device's own course.
    for (const std::string& line : Lines(flash->Stdout()))
        EXPECT_EQ(line[0], '[') << line;
    const std::vector<std::string> failed = {"Reset", "Suche nach Morvik 2.",
                                             "Schreibe Daten, bitte warten!", "Schreibfehler!"};
    for (size_t i = 0; i < links.size(); ++i) {
        SCOPED_TRACE(links[i]);
        EXPECT_EQ(Of(flash->Stdout(), links[i]), i == 2 ? failed : okStatuses);
    }
    EXPECT_EQ(Of(flash->Stderr(), links[2]),
              (std::vector<std::string>{"Verbindung Timeout!", "Schreibfehler!"}));
    EXPECT_TRUE(Of(flash->Stderr(), links[0]).empty());

    // The summary: one row per port, in the order given.
    const auto err = Lines(flash->Stderr());
    ASSERT_GE(err.size(), 5u);
    const std::vector<std::string> table(err.end() - 5, err.end());
    EXPECT_EQ(table[0].substr(0, 4), "Port");
    for (size_t i = 0; i < links.size(); ++i) {
        SCOPED_TRACE(table[i + 1]);
        EXPECT_EQ(table[i + 1].rfind(links[i], 0), 0u);
        EXPECT_NE(table[i + 1].find(i == 2 ? "Schreibfehler!" : "Alles OK !"), std::string::npos);
        EXPECT_NE(table[i + 1].find(i == 2 ? "  2  " : "  100  "), std::string::npos);
    }

    for (size_t i : {0, 1, 3})
        ExpectImageEquals(data, "dev" + std::to_string(i));
    EXPECT_EQ(int(Count(devices[2]->Stderr(), "frame ")), 3);

    // The log grew by one valid JSON line per device; nothing before it was lost.
    const std::string log = dir.Read("run.log");
    ASSERT_EQ(log.rfind(earlier, 0), 0u);
    const auto entries = Lines(log.substr(earlier.size()));
    ASSERT_EQ(entries.size(), 4u);
    const std::string sha256 = Sha256Sum("Morvik2 update.QV");
    std::map<std::string, Json> byPort;
    for (const std::string& line : entries) {
        const Json entry = Json::parse(line);
        byPort[entry["port"]] = entry;
        EXPECT_EQ(entry["sha256"], sha256);
        EXPECT_EQ(entry["file"], "Morvik2 update.QV");
        EXPECT_EQ(entry["device"], entry["port"]);
        EXPECT_FALSE(entry["host"].get<std::string>().empty());
        EXPECT_GE(entry["seconds"].get<double>(), 0.25) << "the reset pulse alone takes that";
        const std::string time = entry["time"];
        EXPECT_EQ(time.size(), 25u) << time; // 2025-03-04T10:15:30+01:00
    }
    ASSERT_EQ(byPort.size(), 4u);
    for (size_t i = 0; i < links.size(); ++i) {
        const Json& entry = byPort[links[i]];
        EXPECT_EQ(entry["result"], i == 2 ? "Schreibfehler!" : "Alles OK !");
        EXPECT_EQ(entry["exit_status"], i == 2 ? 1 : 0);
        EXPECT_EQ(entry["records"], i == 2 ? 2 : 100);
        EXPECT_EQ(entry["bytes"], i == 2 ? 32 : 1600);
        EXPECT_EQ(entry.contains("message"), i == 2);
    }
    EXPECT_EQ(byPort[links[2]]["message"], "Verbindung Timeout!\nSchreibfehler!");
    devices[2]->Signal(SIGTERM);
}

TEST_F(Gang, OneStopEndsEveryRunWithItsOwnStatus) {
    dir.Write("Morvik2 update.QV", HexFor(MakeData(1600)));
    StartDevices({{"--power-on-after", "1000000"}, {"--reply-delay-ms", "30"}});
    auto flash = FlashAll();
    ASSERT_TRUE(devices[1]->WaitForOutput("frame 3\n", true));
    flash->Signal(SIGINT);
    EXPECT_EQ(flash->Wait(10s), 2);
    EXPECT_EQ(Of(flash->Stdout(), links[0]).back(), "Suche abgebrochen.");
    EXPECT_EQ(Of(flash->Stdout(), links[1]).back(), "Schreiben abgebrochen!");
    EXPECT_NE(flash->Stderr().find("Ergebnis"), std::string::npos) << "the summary still comes";
    for (const std::string& link : links) {
        PosixSerialPort other;
        EXPECT_TRUE(other.Open(link)) << link << ": " << other.LastError().reason;
    }
    for (auto& device : devices)
        device->Signal(SIGTERM);
}

// The second signal exits at once, without destructors and without waiting for the silent
// devices' time-out: every port of the gang must still be left as it was found.
TEST_F(Gang, SecondSignalLeavesEveryLineAsItWasFound) {
    dir.Write("Morvik2 update.QV", HexFor(MakeData(1600)));
    StartDevices({{"--reply-delay-ms", "30"}, {"--reply-delay-ms", "30"}, {}});
    std::vector<termios> before;
    for (size_t i = 0; i < 2; ++i)
        before.push_back(UnusualLineSetting(links[i]));
    links.pop_back(); // the third device's port is held by nobody: it only keeps the test honest
    auto flash = FlashAll();
    for (size_t i = 0; i < 2; ++i)
        ASSERT_TRUE(devices[i]->WaitForOutput("frame 2\n", true));
    for (size_t i = 0; i < 2; ++i)
        devices[i]->Signal(SIGSTOP);
    for (int i = 0; i < 100 && flash->Running(); ++i) {
        flash->Signal(SIGTERM);
        std::this_thread::sleep_for(50ms);
    }
    EXPECT_EQ(flash->Wait(), 2);
    EXPECT_NE(flash->Stderr().find("Abbruch."), std::string::npos)
        << "ended by the first signal, not the second";
    EXPECT_EQ(flash->Stderr().find("Verbindung Timeout!"), std::string::npos);
    for (size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(links[i]);
        ExpectLineAsBefore(links[i], before[i]);
        devices[i]->Signal(SIGCONT);
    }
}

// Adapters named by their USB identity, from a made-up sysfs whose two FTDI converters are the
// simulated devices' pseudo-terminals: /dev/pts/N, for sysfs "pts!N".
TEST_F(Gang, UsbIdentitiesNameTheAdaptersAndEachRunIsItsDevice) {
    dir.Write("Morvik2 update.QV", HexFor(MakeData(160)));
    StartDevices({{}, {}});
    const FakeSysfs tree(dir.Path("fake"));
    std::vector<std::string> ptys;
    for (size_t i = 0; i < 2; ++i) {
        ptys.push_back(std::filesystem::read_symlink(links[i]).string());
        std::string tty = ptys[i].substr(5); // "pts/N"
        tty[3] = '!';
        tree.UsbConverter(tty, "1-" + std::to_string(i + 1), "FT232R USB UART",
                          "MV2-" + std::to_string(i));
    }
    std::sort(ptys.begin(), ptys.end(), [](const std::string& a, const std::string& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    const Inherited sysfs{{}, -1, {"MORVIK2_SYSFS_ROOT=" + tree.sys.string()}};
    const std::string flash = MORVIK2_FLASH;

    // Every matching adapter, in the order of their device names (there are no by-id links).
    Process every({flash, "-p", "usb:0403:6001:*"}, dir.Path(), -1, {}, sysfs);
    EXPECT_EQ(every.Wait(60s), 0) << every.Stderr();
    for (const std::string& pty : ptys)
        EXPECT_EQ(Of(every.Stdout(), pty), okStatuses) << pty;
    const auto table = Lines(every.Stderr());
    ASSERT_EQ(table.size(), 3u) << every.Stderr();
    EXPECT_EQ(table[1].rfind(ptys[0], 0), 0u);
    EXPECT_EQ(table[2].rfind(ptys[1], 0), 0u);

    // A name that no adapter matches ends its own run alone.
    Process one({flash, "-p", "usb:0403:6001:MV2-1", "-p", "usb:0403:6001:MV2-7"}, dir.Path(), -1,
                {}, sysfs);
    EXPECT_EQ(one.Wait(60s), 3);
    const std::string second = std::filesystem::read_symlink(links[1]).string();
    EXPECT_EQ(Of(one.Stdout(), second), okStatuses);
    const auto missing = Of(one.Stderr(), "usb:0403:6001:MV2-7");
    ASSERT_GE(missing.size(), 2u) << one.Stderr();
    EXPECT_EQ(missing[0], "Kein USB-Adapter passt auf usb:0403:6001:MV2-7.");
    EXPECT_EQ(missing[1], "Vorhandene USB-Adapter:");
}

TEST_F(Gang, TraceHoldsEveryByteOfTheWire) {
    dir.Write("Morvik2 update.QV", ":10000000000102030405060708090A0B0C0D0E0F78\n:00000001FF\n");
    StartSimulator({"--once"});
    auto flash = Flash({"--trace", "trace.txt"});
    EXPECT_EQ(flash->Wait(), 0);
    EXPECT_EQ(Lines(flash->Stdout()), okStatuses) << "a trace changes nothing else";
    EXPECT_EQ(flash->Stderr(), "");
    const std::string trace = dir.Read("trace.txt");
    const std::string port = " [" + Link() + "] ";
    for (const std::string& expected : std::vector<std::string>{
             port + "DTR 1: ", // a pseudo-terminal has no modem lines: the trace says so
             port + "time limits read 0/1/100 write 20/1000 ms: ok",
             port + "purge 0F: ok",
             ": E3 00 00 10 78 01 00 03 02 05 04 07 06 09 08 0B 0A 0D 0C 0F 0E\n",
             ": E7 E4\n",
             port + "Ergebnis: Alles OK ! (Exit-Status 0)\n",
         })
        EXPECT_NE(trace.find(expected), std::string::npos) << expected << "\n" << trace;
    // Microseconds: "     0.250123 [...".
    const auto lines = Lines(trace);
    ASSERT_GT(lines.size(), 2u);
    EXPECT_EQ(lines[1].find('.'), 6u);
    EXPECT_EQ(lines[1].find(" ["), 13u);
}

TEST_F(Gang, JsonEventsParseAndTellTheWholeRun) {
    const std::string data = MakeData(3200);
    dir.Write("fw.hex", HexFor(data)); // given as the one argument, with the short option
    StartSimulator({"--once", "--baud", "115200"});
    Process flash({MORVIK2_FLASH, "-p", Link(), "--json", "fw.hex"}, dir.Path());
    EXPECT_EQ(flash.Wait(), 0) << flash.Stderr();
    EXPECT_EQ(flash.Stderr(), "");
    std::vector<std::string> statuses;
    int lastPercent = -1, progressEvents = 0;
    Json result;
    for (const std::string& line : Lines(flash.Stdout())) {
        const Json event = Json::parse(line);
        EXPECT_EQ(event["port"], Link());
        if (event["event"] == "status")
            statuses.push_back(event["status"]);
        if (event["event"] == "progress") {
            EXPECT_GT(event["percent"].get<int>(), lastPercent);
            lastPercent = event["percent"];
            EXPECT_EQ(event["total_bytes"], 3200);
            ++progressEvents;
        }
        if (event["event"] == "result")
            result = event;
    }
    EXPECT_EQ(statuses, okStatuses);
    EXPECT_EQ(lastPercent, 100);
    EXPECT_GE(progressEvents, 2);
    EXPECT_EQ(result["result"], "Alles OK !");
    EXPECT_EQ(result["exit_status"], 0);
    EXPECT_EQ(result["records"], 200);
    EXPECT_EQ(result["bytes"], 3200);
}

// The parser's and the check's German are unit-tested (FlashCommandLineTest); what only a
// process shows is a run log that cannot be opened and the port list.
TEST_F(Gang, TheCommandLineSpeaksGerman) {
    const std::string flash = MORVIK2_FLASH;
    dir.Write("Morvik2 update.QV", HexFor(MakeData(160)));
    Process log({flash, "--log", dir.Path("missing/run.log")}, dir.Path());
    EXPECT_EQ(log.Wait(), 4);
    EXPECT_EQ(log.Stderr(), "Das Run-Log kann nicht geöffnet werden!\n" +
                                dir.Path("missing/run.log") + ": No such file or directory\n");
    EXPECT_EQ(log.Stdout(), "");

    Process list({flash, "--list-ports"}, dir.Path());
    EXPECT_EQ(list.Wait(), 0);
    EXPECT_EQ(list.Stderr(), "");
}

} // namespace
