// The command-line tool's usage rules, in-process: what it refuses, with which message and exit
// status, before a port or file is opened; and what --help and --version show.
#include "FlashOptions.h"
#include "FlashPlan.h"
#include "FlashRuns.h"
#include "TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using Action = FlashCommandLine::Action;

FlashCommandLine Parse(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "morvik2-flash");
    return ParseFlashCommandLine(arguments);
}

TEST(FlashCommandLine, WrongOptionsAndValuesAreUsageErrors) {
    auto range = [](const std::string& value) {
        return "--search-timeout: \"" + value +
               "\" ist keine Zahl von 0 (unbegrenzt) bis 86400 Sekunden";
    };
    const struct {
        std::vector<std::string> arguments;
        std::string message;
    } cases[] = {
        {{"--bogus"}, "Unbekannte Angabe: --bogus"},
        {{"--port"}, "--port: Wert fehlt."},
        {{"-f", "a.hex", "b.hex"},
         "Die Firmware-Datei ist zweimal angegeben: mit --file und als Argument."},
        {{"--search-timeout", "nan"}, range("nan")},
        {{"--search-timeout", "inf"}, range("inf")},
        {{"--search-timeout", "-1"}, range("-1")},
        {{"--search-timeout", "9.3e9"}, range("9.3e9")}, // beyond the clock
        {{"--search-timeout", "86401"}, range("86401")}, // over a day
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.back());
        const FlashCommandLine line = Parse(c.arguments);
        EXPECT_EQ(line.action, Action::Refuse);
        EXPECT_EQ(line.refusal.exitStatus, ExitUsage);
        EXPECT_EQ(line.refusal.message, c.message);
    }
}

TEST(FlashCommandLine, OptionsAreTakenAsGiven) {
    const FlashCommandLine plain = Parse({});
    EXPECT_EQ(plain.action, Action::Run);
    EXPECT_EQ(plain.options.file, "Morvik2 update.QV");
    EXPECT_FALSE(plain.options.logPath);
    EXPECT_FALSE(plain.options.tracePath);

    const FlashCommandLine line = Parse({"-p", "COM3", "--port", "/dev/ttyUSB0", "fw.hex",
                                         "--search-timeout", "2.5", "--log", "run.log", "-v"});
    EXPECT_EQ(line.action, Action::Run);
    EXPECT_EQ(line.options.ports, (std::vector<std::string>{"COM3", "/dev/ttyUSB0"}));
    EXPECT_EQ(line.options.file, "fw.hex");
    EXPECT_EQ(line.options.searchTimeout, 2.5);
    EXPECT_EQ(line.options.logPath.value_or(""), "run.log");
    EXPECT_TRUE(line.options.verbose);

    const FlashCommandLine list = Parse({"--list-ports", "--json"});
    EXPECT_EQ(list.action, Action::ListPorts);
    EXPECT_TRUE(list.options.json);
}

TEST(FlashCommandLine, HelpAndVersionAreShownInGerman) {
    const FlashCommandLine help = Parse({"--help"});
    EXPECT_EQ(help.action, Action::Show);
    for (const char* english : {"Usage", "Options", "OPTIONS", "Print this", "Display", "TEXT"})
        EXPECT_EQ(help.shown.find(english), std::string::npos) << english;
    for (const char* german : {"Aufruf: morvik2-flash [ANGABEN] [DATEI]", "-p,--port PORT",
                               "-f,--file DATEI", "Exit-Status:", "3, 1, 5, 2"})
        EXPECT_NE(help.shown.find(german), std::string::npos) << german;

    const FlashCommandLine version = Parse({"--version"});
    EXPECT_EQ(version.action, Action::Show);
    EXPECT_EQ(version.shown, std::string("morvik2-flash ") + MORVIK2_TEST_VERSION + "\n");
}

// /dev/null stands in for a serial port, "link" in the directory for another name of it; the
// working directory's MV2.ini maps COM3 to the one and COM4 to the other.
class FlashCheck : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_symlink(device, link);
        dir.Write("MV2.ini", "[Ports]\r\nCOM3=" + link + "\r\nCOM4=" + device + "\r\n");
        dir.Write("Morvik2 update.QV", ":00000001FF\n");
    }

    // The command's plan, with `adapters` as the serial ports there are.
    FlashPlan Check(std::vector<std::string> arguments, const std::string& environment = "") {
        arguments.insert(arguments.end(), {"--file", firmware});
        const FlashCommandLine line = Parse(arguments);
        EXPECT_EQ(line.action, Action::Run) << line.refusal.message;
        return CheckFlashCommand(line.options, environment, {dir.Path("MV2.ini"), std::nullopt},
                                 [this] { return adapters; });
    }

    // A USB adapter by FTDI.
    static SerialPortInfo Adapter(const std::string& name, const std::string& serialNumber) {
        SerialPortInfo info;
        info.name = name;
        info.serialNumber = serialNumber;
        info.vendorId = 0x0403;
        info.productId = 0x6001;
        return info;
    }

    TempDir dir;
    const std::string device = "/dev/null";
    const std::string link = dir.Path("link");
    const std::string firmware = dir.Path("Morvik2 update.QV");
    std::vector<SerialPortInfo> adapters;
};

TEST_F(FlashCheck, UsageRulesRefuseTheCommandBeforeAnythingIsOpened) {
    auto notAPort = [](const std::string& source, const std::string& shown) {
        return source + ": \"" + shown + "\" ist weder COM1 bis COM256 noch ein Gerätepfad.";
    };
    auto same = [](const std::string& one, const std::string& other) {
        return "--port: \"" + one + "\" und \"" + other + "\" sind dieselbe Schnittstelle.";
    };
    const std::string notHere =
        "Run-Log/Aufzeichnung darf nicht die Firmware-Datei oder eine Schnittstelle sein: ";
    std::vector<std::string> seventeen;
    for (int i = 1; i <= 17; ++i)
        seventeen.insert(seventeen.end(), {"-p", "COM" + std::to_string(i)});
    struct Case {
        std::string what;
        std::vector<std::string> arguments;
        std::string message;
        std::string environment = "";
    };
    const std::vector<Case> cases = {
        {"port name with a line break",
         {"--port", link + "\n] Alles OK !"},
         notAPort("--port", link + "\\x0A] Alles OK !")},
        {"COM257", {"--port", "COM257"}, notAPort("--port", "COM257")},
        {"MORVIK2_PORT that names no port", {}, notAPort("MORVIK2_PORT", "com3"), "com3"},
        {"one port twice",
         {"-p", "COM3", "--port", "COM3"},
         "--port: \"COM3\" ist zweimal angegeben."},
        {"seventeen ports", seventeen, "--port: höchstens 16 Ports, nicht 17."},
        {"seventeen adapters", {"-p", "usb:0403:6001:*"}, "--port: höchstens 16 Ports, nicht 17."},
        {"empty run log name", {"--port", link, "--log", ""}, "--log: \"\" ist kein Dateiname."},
        {"empty trace name", {"--port", link, "--trace", ""}, "--trace: \"\" ist kein Dateiname."},
        {"one device as a link and as its target", {"-p", link, "-p", device}, same(link, device)},
        {"two COM names the settings map to one device",
         {"-p", "COM3", "-p", "COM4"},
         same("COM3", "COM4")},
        {"a COM name and its device name",
         {"-p", "COM3", "-p", "\\\\.\\COM3"},
         same("COM3", "\\\\.\\COM3")},
        {"one device by its path and its USB identity",
         {"-p", link, "-p", "usb:0403:6001:MV2-0"},
         same(link, "usb:0403:6001:MV2-0")},
        {"run log into the firmware file", {"--port", link, "--log", firmware}, notHere + firmware},
        {"trace into the port by another name",
         {"--port", link, "--trace", device},
         notHere + device},
    };
    adapters.push_back(Adapter(device, "MV2-0"));
    for (int i = 1; i < 17; ++i)
        adapters.push_back(Adapter("/dev/ttyUSB" + std::to_string(i), "S" + std::to_string(i)));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const FlashRefusal refusal =
            Check(c.arguments, c.environment).refusal.value_or(FlashRefusal{ExitOk, "(accepted)"});
        EXPECT_EQ(refusal.exitStatus, ExitUsage);
        EXPECT_EQ(refusal.message, c.message);
    }
}

// Each run opens the path its name leads to; a usb: name no adapter matches has none, and is
// compared with nothing.
TEST_F(FlashCheck, AnAcceptedCommandNamesThePathEachRunOpens) {
    const FlashPlan plan =
        Check({"-p", "COM3", "-p", "usb:0403:6001:X", "--log", dir.Path("run.log")});
    ASSERT_FALSE(plan.refusal) << plan.refusal->message;
    ASSERT_EQ(plan.runs.size(), 2u);
    EXPECT_EQ(plan.runs[0].port, "COM3");
    EXPECT_EQ(plan.runs[0].path, link);
    EXPECT_EQ(plan.runs[1].path, "");
    EXPECT_EQ(plan.runs[1].noDevice.rfind("Kein USB-Adapter passt auf usb:0403:6001:X.", 0), 0u);
}

} // namespace
