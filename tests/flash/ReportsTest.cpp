// What a production line reads after a run: the exit status of a gang, the summary table, the
// run log's entries and the port list.
#include "Events.h"
#include "FakeSysfs.h"
#include "FirmwareFile.h"
#include "FlashRuns.h"
#include "PortListing.h"
#include "TempDir.h"

#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <mutex>
#include <nlohmann/json.hpp>

namespace {

namespace fs = std::filesystem;

TEST(GangExitStatus, WhatNeedsAPersonComesFirst) {
    EXPECT_EQ(GangExitStatus({0, 0, 0}), 0);
    EXPECT_EQ(GangExitStatus({0, 2, 5, 1, 3}), 3) << "a port before a write error";
    EXPECT_EQ(GangExitStatus({2, 5, 1, 0}), 1) << "a write error before a silent device";
    EXPECT_EQ(GangExitStatus({2, 0, 5}), 5) << "a silent device before a stop";
    EXPECT_EQ(GangExitStatus({0, 2}), 2);
    EXPECT_EQ(GangExitStatus({3}), 3);
}

TEST(NoAnswerMessage, NamesTheLimitAsTheUserGaveIt) {
    using std::chrono::milliseconds;
    EXPECT_EQ(NoAnswerMessage(milliseconds(3000)), "Keine Antwort vom Morvik 2 innerhalb von 3 s.");
    EXPECT_EQ(NoAnswerMessage(milliseconds(2500)),
              "Keine Antwort vom Morvik 2 innerhalb von 2,5 s.");
    EXPECT_EQ(NoAnswerMessage(milliseconds(86400000)),
              "Keine Antwort vom Morvik 2 innerhalb von 86400 s.");
    EXPECT_EQ(NoAnswerMessage(milliseconds(1)),
              "Keine Antwort vom Morvik 2 innerhalb von 0,001 s.");
}

TEST(SummaryTable, ColumnsLineUpWhateverTheTextsAreMadeOf) {
    std::vector<RunReport> runs(2);
    runs[0].port = "COM3";
    runs[0].result = "Alles OK !";
    runs[0].records = 2048;
    runs[0].seconds = 7.26;
    runs[1].port = "/dev/ttyUSB10";
    runs[1].result = "Schnittstelle konnte nicht geöffnet werden!";
    runs[1].seconds = 0.04;
    EXPECT_EQ(SummaryTable(runs),
              "Port           Ergebnis                                     Datensätze  Sekunden\n"
              "COM3           Alles OK !                                         2048       7,3\n"
              "/dev/ttyUSB10  Schnittstelle konnte nicht geöffnet werden!           0       0,0\n");
}

TEST(RunLog, OneEntryCarriesEverythingAboutTheRun) {
    RunReport run;
    run.port = "COM3";
    run.devicePath = "/dev/ttyUSB0";
    run.result = "Schreibfehler!";
    run.exitStatus = 1;
    run.records = 2;
    run.bytes = 64;
    run.seconds = 1.23456;
    run.messages = {"Verbindung Timeout!", "Schreibfehler!"};
    // A file name from a system that does not write UTF-8 must not cost the entry.
    const LogContext context{"bench-1", "Morvik2 \xE4nderung.QV", std::string(64, 'a')};
    const std::string line = LogEntry(run, context, "2025-03-04T10:15:30+01:00");
    EXPECT_EQ(line.find('\n'), std::string::npos) << "one line per run";
    const auto entry = nlohmann::json::parse(line);
    EXPECT_EQ(entry["time"], "2025-03-04T10:15:30+01:00");
    EXPECT_EQ(entry["host"], "bench-1");
    EXPECT_EQ(entry["port"], "COM3");
    EXPECT_EQ(entry["device"], "/dev/ttyUSB0");
    EXPECT_EQ(entry["file"], "Morvik2 \xEF\xBF\xBDnderung.QV");
    EXPECT_EQ(entry["sha256"], std::string(64, 'a'));
    EXPECT_EQ(entry["records"], 2);
    EXPECT_EQ(entry["bytes"], 64);
    EXPECT_EQ(entry["seconds"], 1.235);
    EXPECT_EQ(entry["result"], "Schreibfehler!");
    EXPECT_EQ(entry["exit_status"], 1);
    EXPECT_EQ(entry["message"], "Verbindung Timeout!\nSchreibfehler!");

    run.messages.clear();
    EXPECT_FALSE(nlohmann::json::parse(LogEntry(run, context, "t")).contains("message"));
}

// The zone's offset, also across the turn of a year between local time and UTC.
TEST(RunLog, TimesCarryTheirZone) {
    const char* saved = std::getenv("TZ");
    const std::string previous = saved ? saved : "";
    struct Case {
        const char* zone;
        std::time_t utc;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {"UTC0", 1741083330, "2025-03-04T10:15:30+00:00"},
        {"XYZ-5:30", 1741083330, "2025-03-04T15:45:30+05:30"},
        {"XYZ+3", 1735693200, "2024-12-31T22:00:00-03:00"}, // 2025-01-01 01:00 UTC
        {"XYZ-2", 1735685000, "2025-01-01T00:43:20+02:00"}, // 2024-12-31 22:43:20 UTC
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.zone);
        setenv("TZ", c.zone, 1);
        tzset();
        EXPECT_EQ(IsoLocalTime(std::chrono::system_clock::from_time_t(c.utc)), c.expected);
    }
    if (saved)
        setenv("TZ", previous.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

// --list-ports from a made-up sysfs: a USB converter that MV2.ini maps to COM3 through its
// stable name, and a plain UART that COM1 names directly.
TEST(PortList, AdaptersShowWhatTheyAreAndTheComNameTheSettingsGiveThem) {
    TempDir dir;
    const FakeSysfs tree(dir.Path());
    const fs::path stable = tree.UsbConverter();
    tree.PlainUart();
    const auto ports = EnumerateSerialPorts(tree.sys.string(), tree.dev.string());
    ASSERT_EQ(ports.size(), 2u);
    const std::vector<std::pair<std::string, std::string>> section = {
        {"COM3", stable.string()},
        {"COM1", (tree.dev / "ttyS0").string()},
        {"COM4", "/dev/ttyUSB7"},
        {"Com5", (tree.dev / "ttyUSB0").string()}, // no port name: never used for a port
    };
    const SerialPortInfo& uart = ports[0];
    const SerialPortInfo& usb = ports[1];
    EXPECT_EQ(MappedComNames(usb, section), std::vector<std::string>{"COM3"});
    EXPECT_EQ(MappedComNames(uart, section), std::vector<std::string>{"COM1"});

    EXPECT_EQ(PortLine(uart, MappedComNames(uart, section)),
              (tree.dev / "ttyS0").string() + "\tMV2.ini: COM1\tTreiber: serial8250");
    EXPECT_EQ(PortLine(usb, MappedComNames(usb, section)),
              (tree.dev / "ttyUSB0").string() +
                  "\tMV2.ini: COM3\tFT232R USB UART\tTreiber: ftdi_sio\tUSB: 0403:6001"
                  "\tHersteller: FTDI\tSeriennummer: A50285BI\t" +
                  stable.string());

    const auto entry = nlohmann::json::parse(PortEntry(usb, {"COM3"}));
    EXPECT_EQ(entry["name"], (tree.dev / "ttyUSB0").string());
    EXPECT_EQ(entry["com"], nlohmann::json::array({"COM3"}));
    EXPECT_EQ(entry["usb_id"], "0403:6001");
    EXPECT_EQ(entry["product"], "FT232R USB UART");
    EXPECT_EQ(entry["serial_number"], "A50285BI");
    EXPECT_EQ(entry["stable_path"], stable.string());
}

// Whatever an adapter's maker wrote into its strings reaches the terminal escaped, and the
// columns stay; JSON keeps the strings exact.
TEST(PortList, AdapterStringsCannotActOnTheTerminal) {
    SerialPortInfo usb;
    usb.name = "/dev/ttyUSB0";
    usb.description = "Adapter\x1b[2J";
    usb.manufacturer = "Tab\there";
    usb.product = "\\\\.\\COM3";
    usb.serialNumber = "A\xc2\x9b"
                       "1\x7f";
    EXPECT_EQ(PortLine(usb, {}), "/dev/ttyUSB0\tAdapter\\x1B[2J\tHersteller: Tab\\x09here"
                                 "\tProdukt: \\\\.\\COM3\tSeriennummer: A\\x9B1\\x7F");
    const auto entry = nlohmann::json::parse(PortEntry(usb, {}));
    EXPECT_EQ(entry["description"], usb.description);
    EXPECT_EQ(entry["manufacturer"], usb.manufacturer);
    EXPECT_EQ(entry["serial_number"], usb.serialNumber);
}

// A stop that came while the firmware file was read ends every run before its port is opened,
// and the station's log says the unit was not touched.
TEST(StopBeforeOpen, NoPortIsOpenedAndEveryReportSaysSo) {
    TempDir dir;
    dir.Write("fw.hex", ":0400100012345678D8\n:00000001FF\n");
    const FirmwareFile firmware = FirmwareFile::Load(dir.Path("fw.hex"));
    struct Log : AppendFile {
        std::mutex mutex; // every run appends from its own thread
        std::vector<std::string> entries;
        std::optional<std::string> Append(const std::string& text) override {
            const std::lock_guard<std::mutex> lock(mutex);
            entries.push_back(text);
            return std::nullopt;
        }
    } log;
    FlashJob job;
    // Opened, they would fail: exit status 3, not 2.
    for (const char* port : {"no-such-port-1", "no-such-port-2"})
        job.runs.push_back({dir.Path(port), port, "", dir.Path(port)});
    job.json = true;
    job.log = &log;
    job.stopRequested = [] { return true; };
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    ConsoleOutput output(out, err, 0);
    const std::vector<RunReport> reports = FlashAll(firmware, job, output);

    ASSERT_EQ(reports.size(), 2u);
    ASSERT_EQ(log.entries.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(reports[i].exitStatus, 2);
        EXPECT_EQ(reports[i].result, "Abgebrochen, bevor die Schnittstelle geöffnet wurde.");
        EXPECT_EQ(reports[i].records, 0u);
        const auto entry = nlohmann::json::parse(log.entries[i]);
        EXPECT_EQ(entry["result"], reports[i].result);
        EXPECT_EQ(entry["exit_status"], 2);
    }
    EXPECT_NE(SummaryTable(reports).find("Abgebrochen, bevor die Schnittstelle geöffnet wurde."),
              std::string::npos);
    std::rewind(out);
    char line[512];
    int results = 0;
    while (std::fgets(line, sizeof line, out)) {
        const auto event = nlohmann::json::parse(line);
        EXPECT_NE(event["event"], "status") << "no status line: the run never began";
        if (event["event"] == "result") {
            ++results;
            EXPECT_EQ(event["exit_status"], 2);
        }
    }
    EXPECT_EQ(results, 2);
    std::fclose(out);
    std::fclose(err);
}

// --port usb:VID:PID[:SERIAL] and usb:VID:PID:* on a made-up sysfs: three FTDI converters, a
// CH340 and the PC's own UART. A gang is ordered by the adapters' stable paths (here their serial
// numbers) where every one has one, else by device name.
TEST(UsbPortNames, ResolveToTheAdaptersThatMatch) {
    TempDir dir;
    const FakeSysfs tree(dir.Path());
    tree.UsbConverter("ttyUSB0", "1-1", "FT232R USB UART", "B2");
    tree.UsbConverter("ttyUSB1", "1-2", "FT232R USB UART", "A1");
    const fs::path c3 = tree.UsbConverter("ttyUSB10", "1-3", "FT232R USB UART", "C3");
    tree.UsbConverter("ttyUSB2", "1-4", "USB Serial", "", "1a86:7523");
    tree.PlainUart();
    const auto dev = [&](const char* name) { return (tree.dev / name).string(); };
    const std::vector<SerialPortInfo> present = tree.Ports();
    const std::string list = "\nVorhandene USB-Adapter:\n  " + dev("ttyUSB0") +
                             "  usb:0403:6001:B2  FT232R USB UART\n  " + dev("ttyUSB1") +
                             "  usb:0403:6001:A1  FT232R USB UART\n  " + dev("ttyUSB2") +
                             "  usb:1a86:7523  USB Serial\n  " + dev("ttyUSB10") +
                             "  usb:0403:6001:C3  FT232R USB UART";
    const std::string form =
        "\" ist keine USB-Kennung: usb:VID:PID, usb:VID:PID:SERIENNUMMER oder usb:VID:PID:*.";
    struct Case {
        std::vector<std::string> names;
        std::vector<std::string> ports; // the runs' ports
        std::vector<std::string> noDevice;
        std::string usageError;
    };
    const std::vector<Case> cases = {
        {{"usb:0403:6001:A1"}, {dev("ttyUSB1")}, {""}, ""},
        {{"usb:1A86:7523"}, {dev("ttyUSB2")}, {""}, ""}, // hex digits in either case
        {{"usb:0403:6001:*"}, {dev("ttyUSB1"), dev("ttyUSB0"), dev("ttyUSB10")}, {"", "", ""}, ""},
        {{"COM3", "usb:0403:6001:Z9", "usb:0403:6001:C3"},
         {"COM3", "usb:0403:6001:Z9", dev("ttyUSB10")},
         {"", "Kein USB-Adapter passt auf usb:0403:6001:Z9." + list, ""},
         ""},
        {{"usb:0403:6001"},
         {},
         {},
         "--port: \"usb:0403:6001\" passt auf mehrere Adapter: " + dev("ttyUSB1") +
             " (usb:0403:6001:A1), " + dev("ttyUSB0") + " (usb:0403:6001:B2), " + dev("ttyUSB10") +
             " (usb:0403:6001:C3); die Seriennummer wählt einen, :* nimmt alle."},
        {{"usb:0:0:*"}, {"usb:0:0:*"}, {"Kein USB-Adapter passt auf usb:0:0:*." + list}, ""},
        {{"usb:0403"}, {}, {}, "--port: \"usb:0403" + form},
        {{"usb:04g3:6001"}, {}, {}, "--port: \"usb:04g3:6001" + form},
        {{"usb:10403:6001"}, {}, {}, "--port: \"usb:10403:6001" + form},
        {{"usb:0403:6001:"}, {}, {}, "--port: \"usb:0403:6001:" + form},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.names.back());
        const PortRuns resolved = ResolvePortNames(c.names, present, "--port");
        EXPECT_EQ(resolved.usageError, c.usageError);
        std::vector<std::string> ports, noDevice;
        for (const PortRun& run : resolved.runs) {
            ports.push_back(run.port);
            noDevice.push_back(run.noDevice);
        }
        if (c.usageError.empty()) {
            EXPECT_EQ(ports, c.ports);
            EXPECT_EQ(noDevice, c.noDevice);
        }
    }

    // One adapter without a stable path: the gang goes by device name.
    fs::remove(c3);
    std::vector<std::string> ports;
    for (const PortRun& run : ResolvePortNames({"usb:0403:6001:*"}, tree.Ports(), "--port").runs)
        ports.push_back(run.port);
    EXPECT_EQ(ports, (std::vector<std::string>{dev("ttyUSB0"), dev("ttyUSB1"), dev("ttyUSB10")}));
    // Windows reports COM ports with their USB identity: the same rules, and COMn to open.
    std::vector<SerialPortInfo> com(2);
    com[0].name = "COM3", com[1].name = "COM12";
    com[0].vendorId = com[1].vendorId = 0x0403;
    com[0].productId = com[1].productId = 0x6001;
    com[0].serialNumber = "Y", com[1].serialNumber = "X";
    ports.clear();
    for (const PortRun& run : ResolvePortNames({"usb:0403:6001:*"}, com, "--port").runs)
        ports.push_back(run.port);
    EXPECT_EQ(ports, (std::vector<std::string>{"COM3", "COM12"}));
    // Without any USB adapter the message says so.
    EXPECT_EQ(
        ResolvePortNames({"usb:0403:6001:*"}, {}, "MORVIK2_PORT").runs[0].noDevice,
        "Kein USB-Adapter passt auf usb:0403:6001:*.\nEs ist kein USB-Adapter angeschlossen.");
}

// Windows names its ports COMn itself: nothing is mapped to them.
TEST(PortList, ComPortsAreNeverMapped) {
    SerialPortInfo com;
    com.name = "COM3";
    EXPECT_TRUE(MappedComNames(com, {{"COM3", "COM3"}}).empty());
    EXPECT_EQ(PortLine(com, {}), "COM3");
}

} // namespace
