// The window's logic without a toolkit: start-up, the settings file, clicks, keys, the port
// selector and the close, on a recording view and a fake port.
#include "ControlTable.h"
#include "FakeView.h"
#include "Fakes.h"
#include "TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <optional>

namespace {

namespace fs = std::filesystem;
using Box = FakeView::Box;
using Icon = MainView::BoxIcon;

class WindowLogicTest : public ::testing::Test {
protected:
    WindowLogicTest() : cwd(dir.Path()) {}

    // Builds the window as the program does at start-up.
    void Start() {
        auto fake = std::make_unique<FakeSerialPort>(log);
        port = fake.get();
        port->device = GoodDevice();
        form = std::make_unique<TMainForm>(view, std::move(fake), [this] { return present; });
        view.form = form.get();
        form->FormCreate();
    }

    // A run in progress is in its transfer: frames go out.
    bool Transferring() const { return !port->Frames().empty(); }

    TempDir dir;
    WorkingDirectory cwd;
    EventLog log;
    std::vector<SerialPortInfo> present; // the ports the system reports
    FakeView view;
    FakeSerialPort* port = nullptr;
    std::unique_ptr<TMainForm> form;
};

TEST_F(WindowLogicTest, StoredPortIsShownOrCom1AndTheCloseStoresTheChosenOne) {
    const struct {
        const char* stored; // nullptr: no MV2.ini
        int shown;
        int chosen; // index chosen by the user, or -1
        const char* afterClose;
    } cases[] = {
        {nullptr, 0, -1, "[Setup]\r\nPort=COM1\r\n"},
        {"[Setup]\r\nPort=COM12\r\n", 11, 4, "[Setup]\r\nPort=COM5\r\n"},
        {"[setup]\nPORT=COM16\n", 15, -1, "[setup]\nPORT=COM16\n"},
        // Names of no port at all; Windows writes neither lower case nor leading zeros.
        {"[Setup]\r\nPort=com3\r\n", 0, -1, "[Setup]\r\nPort=COM1\r\n"},
        {"[Setup]\r\nPort=COM03\r\n", 0, -1, "[Setup]\r\nPort=COM1\r\n"},
        {"[Setup]\r\nPort=COM0\r\n", 0, -1, "[Setup]\r\nPort=COM1\r\n"},
        {"[Setup]\r\nPort=COM257\r\n", 0, -1, "[Setup]\r\nPort=COM1\r\n"},
        {"[Setup]\r\nPort=foo\r\n", 0, -1, "[Setup]\r\nPort=COM1\r\n"},
        {"[Setup]\r\nPort=/dev/tty\x1b[2JUSB0\r\n", 0, -1, "[Setup]\r\nPort=COM1\r\n"},
        {"[Setup]\r\nSpeed=9600\r\n", 0, -1, "[Setup]\r\nSpeed=9600\r\nPort=COM1\r\n"},
        {"\x01garbage", 0, -1, "\x01garbage\r\n[Setup]\r\nPort=COM1\r\n"},
        // Other sections, keys, comments and blank lines stay as they are.
        {"; bench\r\n[Ports]\r\nCOM3=/dev/ttyUSB0\r\n\r\n[Setup]\r\nLang=de\r\nPort=COM3\r\n; "
         "end\r\n",
         2, 1,
         "; bench\r\n[Ports]\r\nCOM3=/dev/ttyUSB0\r\n\r\n[Setup]\r\nLang=de\r\nPort=COM2\r\n; "
         "end\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored ? c.stored : "no MV2.ini");
        fs::remove(dir.Path("MV2.ini"));
        if (c.stored)
            dir.Write("MV2.ini", c.stored);
        view = FakeView();
        Start();
        EXPECT_EQ(view.caption, "QV Morvik 2 Softwareupdate");
        ASSERT_EQ(view.ports.size(), 16u);
        EXPECT_EQ(view.ports.front(), "COM1");
        EXPECT_EQ(view.ports.back(), "COM16");
        EXPECT_EQ(view.selected, c.shown);
        EXPECT_EQ(form->Program().Setup.Port, view.ports[size_t(c.shown)]);
        EXPECT_FALSE(form->Program().StopRequested); // showing it is not the user's choice
        if (c.chosen >= 0)
            form->ComboBox2Change(c.chosen);
        EXPECT_EQ(fs::exists(dir.Path("MV2.ini")), c.stored != nullptr); // nothing written yet
        view.CloseWindow();
        EXPECT_EQ(dir.Read("MV2.ini"), c.afterClose);
        EXPECT_EQ(view.programEnds, 1);
    }
}

// A port as Windows reports a USB adapter.
SerialPortInfo Reported(const std::string& name) {
    SerialPortInfo port;
    port.name = name;
    port.description = "USB Serial Port (" + name + ")";
    return port;
}

std::vector<std::string> Com1To16And(std::vector<std::string> more) {
    std::vector<std::string> list;
    for (int n = 1; n <= 16; ++n)
        list.push_back("COM" + std::to_string(n));
    list.insert(list.end(), more.begin(), more.end());
    return list;
}

// Ports above COM16 that the system reports follow COM16 in numeric order, then the ports it
// reports by device (POSIX); a stored port that is missing now (an adapter unplugged, a device
// path) is kept as it is, last.
TEST_F(WindowLogicTest, ReportedAndStoredPortsFollowCom16) {
    const struct {
        std::vector<std::string> present;
        const char* stored;
        std::vector<std::string> extra;
        int shown;
    } cases[] = {
        {{}, "COM23", {"COM23"}, 16},
        {{}, "/dev/ttyUSB0", {"/dev/ttyUSB0"}, 16},
        {{},
         "/dev/serial/by-id/usb-FTDI_A50285BI-if00-port0",
         {"/dev/serial/by-id/usb-FTDI_A50285BI-if00-port0"},
         16},
        {{"COM23", "COM5"}, "COM5", {"COM23"}, 4},
        {{"COM40", "COM23", "COM23", "/dev/ttyUSB0", "COM100"},
         "COM30",
         {"COM23", "COM40", "COM100", "/dev/ttyUSB0 – USB Serial Port (/dev/ttyUSB0)", "COM30"},
         20},
        {{"COM23"}, "COM23", {"COM23"}, 16},
        {{"COM23"}, "com23", {"COM23"}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        const std::string ini = std::string("[Setup]\r\nPort=") + c.stored + "\r\n";
        dir.Write("MV2.ini", ini);
        present.clear();
        for (const std::string& name : c.present)
            present.push_back(Reported(name));
        view = FakeView();
        Start();
        EXPECT_EQ(view.ports, Com1To16And(c.extra));
        EXPECT_EQ(view.selected, c.shown);
        EXPECT_FALSE(form->Program().StopRequested);
        view.CloseWindow();
        EXPECT_EQ(dir.Read("MV2.ini"), c.shown == 0 ? "[Setup]\r\nPort=COM1\r\n" : ini);
    }
}

// The port chosen from beyond COM16 is the one the next run opens and the close stores.
TEST_F(WindowLogicTest, ChoosingAReportedPortProgramsThroughIt) {
    dir.Write("Morvik2 update.QV", FirmwareText(4));
    dir.Write("MV2.ini", "[Setup]\r\nPort=/dev/ttyUSB0\r\n");
    present = {Reported("COM23")};
    Start();
    ASSERT_EQ(view.ports, Com1To16And({"COM23", "/dev/ttyUSB0"}));
    form->Button2Click();
    EXPECT_EQ(port->openedPath, "/dev/ttyUSB0");

    form->ComboBox2Change(16);
    EXPECT_EQ(form->Program().Setup.Port, "COM23");
    form->Button2Click();
    EXPECT_EQ(view.statuses.back(), "Alles OK !");
    EXPECT_EQ(port->openedPath, "/dev/ttyS22");
    view.CloseWindow();
    EXPECT_EQ(dir.Read("MV2.ini"), "[Setup]\r\nPort=COM23\r\n");
}

// An adapter as Linux reports it: by device, with the name its descriptors give and, where udev
// made one, the link that survives replugging.
SerialPortInfo Adapter(const std::string& device, const std::string& description,
                       const std::string& stable) {
    SerialPortInfo port;
    port.name = device;
    port.description = description;
    port.stablePath = stable;
    return port;
}

const std::string byId = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";

// Adapters show with their description and are stored by their stable path; a stored path is
// used as it is, also while its adapter is unplugged.
TEST_F(WindowLogicTest, AdaptersAreShownWithTheirNameAndStoredByTheirStablePath) {
    dir.Write("Morvik2 update.QV", FirmwareText(4));
    present = {Adapter("/dev/ttyACM0", "", ""), Adapter("/dev/ttyUSB0", "FT232R USB UART", byId)};
    Start();
    EXPECT_EQ(view.ports, Com1To16And({"/dev/ttyACM0", "/dev/ttyUSB0 – FT232R USB UART"}));
    EXPECT_EQ(view.selected, 0);
    form->ComboBox2Change(17);
    form->Button2Click();
    EXPECT_EQ(view.statuses.back(), "Alles OK !");
    EXPECT_EQ(port->openedPath, byId);
    form->ComboBox2Change(16);
    EXPECT_EQ(form->Program().Setup.Port, "/dev/ttyACM0"); // no stable path: its device
    form->ComboBox2Change(17);
    view.CloseWindow();
    EXPECT_EQ(dir.Read("MV2.ini"), "[Setup]\r\nPort=" + byId + "\r\n");

    // Unplugged: the stored path is offered as it is, and opening it fails as usual.
    present.clear();
    view = FakeView();
    Start();
    EXPECT_EQ(view.ports, Com1To16And({byId}));
    EXPECT_EQ(view.selected, 16);
    port->failStep = 1;
    form->Button2Click();
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].text, "Schnittstelle konnte nicht geöffnet werden!");
    EXPECT_EQ(port->openedPath, byId);
    view.CloseWindow();
    EXPECT_EQ(dir.Read("MV2.ini"), "[Setup]\r\nPort=" + byId + "\r\n");

    // Stored by its device name, by hand or before it had a stable path: kept as it is.
    dir.Write("MV2.ini", "[Setup]\r\nPort=/dev/ttyUSB0\r\n");
    present = {Adapter("/dev/ttyUSB0", "FT232R USB UART", byId)};
    view = FakeView();
    Start();
    EXPECT_EQ(view.ports, Com1To16And({"/dev/ttyUSB0 – FT232R USB UART"}));
    EXPECT_EQ(view.selected, 16);
    form->ComboBox2Change(16);
    EXPECT_EQ(form->Program().Setup.Port, "/dev/ttyUSB0");

    // What an adapter calls itself is shown escaped; a device whose name holds a control
    // character is no port to offer.
    present = {Adapter("/dev/ttyUSB0", "FT232R\x1b[2J\xc2\x9b", byId),
               Adapter("/dev/ttyUSB1\n/dev/ttyUSB0", "", "")};
    view = FakeView();
    Start();
    EXPECT_EQ(view.ports, Com1To16And({"/dev/ttyUSB0 – FT232R\\x1B[2J\\x9B"}));
}

// The list is built anew each time it opens: an adapter plugged in since shows, one pulled out
// goes, and the port chosen stays chosen without counting as a new choice.
TEST_F(WindowLogicTest, OpeningThePortListShowsTheAdaptersPresentNow) {
    dir.Write("MV2.ini", "[Setup]\r\nPort=COM2\r\n");
    Start();
    EXPECT_EQ(view.ports, Com1To16And({}));

    present = {Adapter("/dev/ttyUSB0", "FT232R USB UART", byId)};
    form->ComboBox2DropDown();
    EXPECT_EQ(view.ports, Com1To16And({"/dev/ttyUSB0 – FT232R USB UART"}));
    EXPECT_EQ(view.selected, 1);
    form->ComboBox2Change(16);

    present = {Adapter("/dev/ttyUSB1", "Morvik Adapter", "")};
    form->ComboBox2DropDown();
    EXPECT_EQ(view.ports, Com1To16And({"/dev/ttyUSB1 – Morvik Adapter", byId}));
    EXPECT_EQ(view.selected, 17);
    EXPECT_EQ(form->Program().Setup.Port, byId);

    // Opened during a run: the run goes on.
    dir.Write("Morvik2 update.QV", FirmwareText(8));
    form->ComboBox2Change(0);
    bool opened = false;
    view.onPump = [&] {
        if (Transferring() && !opened) {
            opened = true;
            form->ComboBox2DropDown();
        }
    };
    form->ChooseFirmwareFile("Morvik2 update.QV");
    form->Button2Click();
    EXPECT_TRUE(opened);
    EXPECT_EQ(view.statuses.back(), "Alles OK !");
}

// A file named on the command line or dropped on the window is the one written; the status line
// names it unless it is the working directory's own.
TEST_F(WindowLogicTest, AChosenFirmwareFileIsWrittenAndNamed) {
    dir.Write("Morvik2 update.QV", FirmwareText(4));
    dir.MakeDirectory("Downloads");
    dir.Write("Downloads/neu.QV", FirmwareText(9));
    Start();
    EXPECT_TRUE(view.statuses.empty());

    // By its name, which a path cut to fit the line would hide; the whole path on the tooltip.
    form->ChooseFirmwareFile(dir.Path("Downloads/neu.QV"));
    EXPECT_EQ(view.statuses.back(), "Datei: neu.QV");
    EXPECT_EQ(view.toolTip, dir.Path("Downloads/neu.QV"));
    form->Button2Click();
    EXPECT_EQ(view.statuses.back(), "Alles OK !");
    EXPECT_EQ(port->Frames().size(), 9u);

    // A relative name is taken against the working directory; the default file is not named.
    EXPECT_TRUE(form->FileDropped("./Morvik2 update.QV"));
    EXPECT_EQ(view.statuses.back(), "");
    EXPECT_EQ(view.toolTip, "");
    EXPECT_EQ(form->FirmwareFile(), dir.Path("./Morvik2 update.QV"));
    port->writes.clear();
    form->Button2Click();
    EXPECT_EQ(port->Frames().size(), 4u);

    // Nothing there: the click says so, as without any file.
    EXPECT_TRUE(form->FileDropped(dir.Path("Downloads")));
    EXPECT_FALSE(form->HexFileAvailable);
    form->Button2Click();
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].text, "Keine hex Datei ausgewählt oder \nDatei existiert nicht!");

    // While a run is busy with one file, no other is taken.
    form->ChooseFirmwareFile(dir.Path("Downloads/neu.QV"));
    bool refused = false;
    view.onPump = [&] {
        if (Transferring() && !refused) {
            EXPECT_FALSE(form->AcceptsDrop());
            refused = !form->FileDropped(dir.Path("Morvik2 update.QV"));
        }
    };
    port->writes.clear();
    form->Button2Click();
    EXPECT_TRUE(refused);
    EXPECT_EQ(port->Frames().size(), 9u);
    EXPECT_EQ(form->FirmwareFile(), dir.Path("Downloads/neu.QV"));
    EXPECT_TRUE(form->AcceptsDrop());
}

TEST_F(WindowLogicTest, FilesAreLookedForInTheWorkingDirectory) {
    const fs::path programDir = fs::read_symlink("/proc/self/exe").parent_path();
    ASSERT_FALSE(fs::exists(programDir / "MV2.ini"));
    dir.MakeDirectory("sub");
    dir.Write("sub/MV2.ini", "[Setup]\r\nPort=COM4\r\n");
    dir.Write("sub/Morvik2 update.QV", "");
    Start();
    EXPECT_FALSE(form->HexFileAvailable);
    EXPECT_EQ(view.selected, 0);

    WorkingDirectory sub(dir.Path("sub"));
    Start();
    EXPECT_EQ(form->AppDir, dir.Path("sub") + "/");
    EXPECT_TRUE(form->HexFileAvailable);
    EXPECT_EQ(view.selected, 3);
    view.CloseWindow();
    EXPECT_EQ(dir.Read("sub/MV2.ini"), "[Setup]\r\nPort=COM4\r\n");
    EXPECT_FALSE(fs::exists(programDir / "MV2.ini"));
}

TEST_F(WindowLogicTest, FailedWriteIsShownOnceAndTheWindowStillCloses) {
    dir.MakeDirectory("MV2.ini"); // no one, not even root, writes a file there
    Start();
    view.CloseWindow();
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].caption, "QV Update Morvik 2");
    EXPECT_EQ(view.boxes[0].text, "In " + dir.Path("MV2.ini") + " kann nicht geschrieben werden.");
    EXPECT_EQ(view.boxes[0].icon, Icon::Error);
    EXPECT_EQ(view.closes, 1);
    EXPECT_EQ(view.programEnds, 1);

    // The settings are written once per program run: a second close tries nothing.
    view.CloseWindow();
    EXPECT_EQ(view.boxes.size(), 1u);
    EXPECT_TRUE(fs::is_directory(dir.Path("MV2.ini")));
}

// Deleted under the program: no settings file is read, and none is written anywhere else.
TEST_F(WindowLogicTest, WithoutAWorkingDirectoryNothingIsReadOrWrittenElsewhere) {
    const fs::path root = fs::path("/") / "MV2.ini";
    ASSERT_FALSE(fs::exists(root)) << "a settings file in the root directory is in the way";
    dir.MakeDirectory("gone");
    WorkingDirectory gone(dir.Path("gone"));
    fs::remove(dir.Path("gone"));
    Start();
    EXPECT_EQ(view.selected, 0);
    EXPECT_EQ(form->AppDir, "");
    view.CloseWindow();
    const bool writtenToRoot = fs::exists(root);
    if (writtenToRoot)
        fs::remove(root);
    EXPECT_FALSE(writtenToRoot);
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].text, "In MV2.ini kann nicht geschrieben werden.");
    EXPECT_EQ(view.programEnds, 1);
}

// Without a firmware file each click says so, then offers the file dialog: a file chosen there
// is written at once, Cancel ends there, and what is no file brings the message again.
TEST_F(WindowLogicTest, WithoutFirmwareFileTheClickSaysSoAndOffersTheFileDialog) {
    ScopedEnvironment home("HOME", dir.Path("home").c_str());
    ScopedEnvironment config("XDG_CONFIG_HOME", nullptr);
    dir.MakeDirectory("home/Downloads");
    dir.MakeDirectory("Ablage");
    dir.Write("Ablage/neu.QV", FirmwareText(9));
    dir.MakeFifo("Ablage/Rohr.QV");
    using Chosen = std::optional<std::string>;
    const struct {
        const char* what;
        std::vector<Chosen> chosen;       // the user's answer to each dialog
        std::vector<std::string> folders; // where each dialog starts
        bool closes;                      // the window is closed while the dialog is open
        int frames;
    } cases[] = {
        {"cancelled", {std::nullopt}, {dir.Path("home/Downloads")}, false, 0},
        {"chosen", {dir.Path("Ablage/neu.QV")}, {dir.Path("home/Downloads")}, false, 9},
        {"no file, then cancelled",
         {dir.Path("Ablage/Rohr.QV"), std::nullopt},
         {dir.Path("home/Downloads"), dir.Path("Ablage")},
         false,
         0},
        {"window closed meanwhile",
         {dir.Path("Ablage/neu.QV")},
         {dir.Path("home/Downloads")},
         true,
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        view = FakeView();
        Start();
        // Added after start-up: not seen until the next start.
        dir.Write("Morvik2 update.QV", FirmwareText(2));
        size_t answered = 0;
        view.onFileDialog = [&] {
            if (c.closes)
                view.CloseWindow();
            return answered < c.chosen.size() ? c.chosen[answered++] : std::nullopt;
        };
        form->Button2Click();
        fs::remove(dir.Path("Morvik2 update.QV"));

        ASSERT_EQ(view.boxes.size(), c.folders.size());
        for (const Box& box : view.boxes) {
            EXPECT_EQ(box.caption, "QV Morvik 2 Softwareupdate");
            EXPECT_EQ(box.text, "Keine hex Datei ausgewählt oder \nDatei existiert nicht!");
            EXPECT_EQ(box.icon, Icon::None);
        }
        ASSERT_EQ(view.fileDialogs.size(), c.folders.size());
        for (size_t i = 0; i < c.folders.size(); ++i) {
            const MainView::FileDialog& dialog = view.fileDialogs[i];
            EXPECT_EQ(dialog.title, "Update-Datei wählen");
            ASSERT_EQ(dialog.filters.size(), 2u);
            EXPECT_EQ(dialog.filters[0].name, "Morvik 2 Update (*.QV)");
            EXPECT_EQ(dialog.filters[0].pattern, "*.QV");
            EXPECT_EQ(dialog.filters[1].name, "Alle Dateien (*)");
            EXPECT_EQ(dialog.filters[1].pattern, "*");
            EXPECT_EQ(dialog.folder, c.folders[i]);
        }
        EXPECT_EQ(port->Frames().size(), size_t(c.frames));
        EXPECT_EQ(port->opens, c.frames ? 1 : 0);
        EXPECT_EQ(view.programEnds, c.closes ? 1 : 0);
        if (c.frames) {
            ASSERT_GE(view.statuses.size(), 2u);
            EXPECT_EQ(view.statuses.front(), "Datei: neu.QV");
            EXPECT_EQ(view.statuses.back(), "Alles OK !");
            EXPECT_EQ(view.toolTip, dir.Path("Ablage/neu.QV"));
            // The file stays chosen: the next click writes it again, with no question.
            form->Button2Click();
            EXPECT_EQ(port->Frames().size(), 2u * 9);
            EXPECT_EQ(view.fileDialogs.size(), 1u);
        } else {
            EXPECT_FALSE(form->HexFileAvailable);
        }
    }
}

// The file dialog starts in the download folder, found as xdg-user-dir finds it, or where the
// file chosen last lies.
TEST_F(WindowLogicTest, TheFileDialogStartsInTheDownloadFolderOrWhereTheLastFileWas) {
    dir.MakeDirectory("home");
    ScopedEnvironment home("HOME", dir.Path("home").c_str());
    ScopedEnvironment noConfig("XDG_CONFIG_HOME", nullptr);
    const std::string elsewhere = dir.Path("Ablage für Jürgen");
    const struct {
        const char* userDirs; // ~/.config/user-dirs.dirs, nullptr for none
        const char* configHome;
        std::vector<std::string> folders; // made in the home folder
        std::string expected;
    } cases[] = {
        {nullptr, nullptr, {}, dir.Path("home")},
        {nullptr, nullptr, {"Downloads"}, dir.Path("home/Downloads")},
        {"XDG_DOWNLOAD_DIR=\"$HOME/Herunterladen\"\n",
         nullptr,
         {"Herunterladen", "Downloads"},
         dir.Path("home/Herunterladen")},
        // Named, but not there.
        {"XDG_DOWNLOAD_DIR=\"$HOME/Herunterladen\"\n",
         nullptr,
         {"Downloads"},
         dir.Path("home/Downloads")},
        {"XDG_DOWNLOAD_DIR=\"$HOME/Herunterladen\"\n", nullptr, {}, dir.Path("home")},
        {"XDG_DOWNLOAD_DIR=\"$HOME/Herunterladen\"\n",
         "config",
         {"Herunterladen"},
         dir.Path("home/Downloads vom Händler")},
        // The shell's rules: comments, the last assignment, escaped quotes, absolute paths.
        {"# XDG_DOWNLOAD_DIR=\"$HOME/Downloads\"\nXDG_DOWNLOAD_DIR=\"$HOME/alt\"\n"
         "  XDG_DOWNLOAD_DIR=\"$HOME/Mein \\\"Ordner\\\"\"\n",
         nullptr,
         {"Downloads", "alt", "Mein \"Ordner\""},
         dir.Path("home/Mein \"Ordner\"")},
        {"XDG_DOWNLOAD_DIR=\"$HOMEDIR\"\nXDG_DOWNLOAD_DIR=relativ\n",
         nullptr,
         {"Downloads"},
         dir.Path("home/Downloads")},
    };
    dir.MakeDirectory("config");
    dir.Write("config/user-dirs.dirs", "XDG_DOWNLOAD_DIR=\"$HOME/Downloads vom Händler\"\n");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.userDirs ? c.userDirs : "no user-dirs.dirs");
        fs::remove_all(dir.Path("home"));
        dir.MakeDirectory("home/.config");
        dir.MakeDirectory("home/Downloads vom Händler");
        for (const std::string& folder : c.folders)
            dir.MakeDirectory("home/" + folder);
        if (c.userDirs)
            dir.Write("home/.config/user-dirs.dirs", c.userDirs);
        const std::string configHome = c.configHome ? dir.Path(c.configHome) : "";
        ScopedEnvironment config("XDG_CONFIG_HOME", c.configHome ? configHome.c_str() : nullptr);
        view = FakeView();
        Start();
        form->Button2Click();
        ASSERT_EQ(view.fileDialogs.size(), 1u);
        EXPECT_EQ(view.fileDialogs[0].folder, c.expected);
    }

    // An absolute path; then a file named on the command line that is not there: the dialog
    // starts in its folder.
    dir.MakeDirectory("Ablage für Jürgen");
    dir.Write("home/.config/user-dirs.dirs", "XDG_DOWNLOAD_DIR=\"" + elsewhere + "\"\n");
    view = FakeView();
    Start();
    form->Button2Click();
    form->ChooseFirmwareFile(dir.Path("Ablage/neu.QV")); // no such folder
    form->Button2Click();
    dir.MakeDirectory("Ablage");
    form->ChooseFirmwareFile(dir.Path("Ablage/neu.QV"));
    form->Button2Click();
    ASSERT_EQ(view.fileDialogs.size(), 3u);
    EXPECT_EQ(view.fileDialogs[0].folder, elsewhere);
    EXPECT_EQ(view.fileDialogs[1].folder, elsewhere);
    EXPECT_EQ(view.fileDialogs[2].folder, dir.Path("Ablage"));
}

// The status sequence itself is the programmer's (ProgrammerTest); the window adds the progress,
// the beep, the pacing timer and the freed port.
TEST_F(WindowLogicTest, ClickRunsTheProgrammerAndShowsItsProgress) {
    dir.Write("Morvik2 update.QV", FirmwareText(40));
    Start();
    ASSERT_TRUE(form->HexFileAvailable);
    form->Button2Click();
    ASSERT_FALSE(view.statuses.empty());
    EXPECT_EQ(view.statuses.back(), "Alles OK !");
    ASSERT_FALSE(view.progress.empty());
    EXPECT_TRUE(std::is_sorted(view.progress.begin(), view.progress.end()));
    EXPECT_EQ(view.progress.back(), 100);
    EXPECT_EQ(view.beeps, 1);
    EXPECT_EQ(view.timerPeriods, 2); // the reset pulse and the closing pulse
    EXPECT_FALSE(view.timer1);
    EXPECT_TRUE(view.boxes.empty());
    EXPECT_EQ(port->Frames().size(), 40u);
    EXPECT_FALSE(port->IsOpen());
    EXPECT_FALSE(form->Program().Busy);
    EXPECT_EQ(view.programEnds, 0);
}

// Esc, the stop button and the port selector stop a run; a click during it changes nothing.
TEST_F(WindowLogicTest, TheUserStopsARun) {
    dir.Write("Morvik2 update.QV", FirmwareText(40));
    dir.Write("MV2.ini", "[Setup]\r\nPort=COM3\r\n");
    Start();
    const struct {
        const char* what;
        std::function<void()> act;
    } stops[] = {
        {"Esc", [&] { EXPECT_FALSE(form->FormKeyDown(VkEscape)); }}, // the key passes on
        {"stop button", [&] { form->Button3Click(); }},
        {"port selector", [&] { form->ComboBox2Change(6); }},
    };
    for (const auto& stop : stops) {
        SCOPED_TRACE(stop.what);
        port->writes.clear();
        bool acted = false;
        view.onPump = [&] {
            if (Transferring() && !acted) {
                acted = true;
                form->Button2Click(); // ignored: a run is in progress
                stop.act();
            }
        };
        form->Button2Click();
        EXPECT_TRUE(acted);
        EXPECT_EQ(view.statuses.back(), "Schreiben abgebrochen!");
        EXPECT_TRUE(view.boxes.empty());
        EXPECT_FALSE(form->Program().Busy);
    }
    // The run kept the port it opened; the next one takes the new choice.
    EXPECT_EQ(port->openedPath, "/dev/ttyS2");
    EXPECT_EQ(form->Program().Setup.Port, "COM7");
    view.onPump = nullptr;
    form->Button2Click();
    EXPECT_EQ(view.statuses.back(), "Alles OK !");
    EXPECT_EQ(port->openedPath, "/dev/ttyS6");
    EXPECT_EQ(port->opens, 4);
}

// The close box or F10 during a run: the run stops at once and leaves the port alone; the
// program ends only when the run has unwound.
TEST_F(WindowLogicTest, CloseBoxOrF10DuringARunEndsTheProgramOnceTheRunHasUnwound) {
    dir.Write("Morvik2 update.QV", FirmwareText(40));
    for (bool f10 : {false, true}) {
        SCOPED_TRACE(f10 ? "F10" : "close box");
        dir.Write("MV2.ini", "[Setup]\r\nPort=COM2\r\n");
        view = FakeView();
        Start();
        bool portOpenAfterClose = true;
        int endsAtClose = -1;
        view.onPump = [&] {
            if (Transferring() && view.closes == 0) {
                if (f10)
                    EXPECT_TRUE(form->FormKeyDown(VkF10));
                else
                    view.CloseWindow();
                portOpenAfterClose = port->IsOpen();
                endsAtClose = view.programEnds;
            }
        };
        form->Button2Click();
        EXPECT_EQ(view.closes, 1);
        EXPECT_FALSE(portOpenAfterClose);
        EXPECT_EQ(endsAtClose, 0); // the run was still on the stack
        EXPECT_EQ(view.programEnds, 1);
        EXPECT_TRUE(view.boxes.empty());
        EXPECT_EQ(port->Count(EndCommand), 0);
        EXPECT_EQ(port->opsWhileClosed, 0);
        EXPECT_FALSE(form->Program().Busy);
        EXPECT_EQ(dir.Read("MV2.ini"), "[Setup]\r\nPort=COM2\r\n");
    }
}

TEST_F(WindowLogicTest, FailuresAreShownAndTheWindowStaysUsable) {
    dir.Write("Morvik2 update.QV", FirmwareText(4));
    Start();

    // The file vanished since start-up: the default exception display.
    fs::remove(dir.Path("Morvik2 update.QV"));
    form->Button2Click();
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].caption, "QV Update Morvik 2");
    EXPECT_EQ(view.boxes[0].text, "Datei nicht gefunden.");
    EXPECT_EQ(view.boxes[0].icon, Icon::Error);
    EXPECT_EQ(port->opens, 0);

    // The port cannot be opened: the program's own box, and nothing else happens.
    dir.Write("Morvik2 update.QV", FirmwareText(4));
    view.boxes.clear();
    port->failStep = 1;
    form->Button2Click();
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].caption, "QV Morvik 2 Softwareupdate");
    EXPECT_EQ(view.boxes[0].text, "Schnittstelle konnte nicht geöffnet werden!");
    EXPECT_EQ(view.boxes[0].icon, Icon::None);
    EXPECT_TRUE(view.statuses.empty());

    // Held open by another program: which one, below the message.
    view.boxes.clear();
    port->error = {"", 16, "Device or resource busy", PortFailure::HeldByOtherProgram,
                   "ModemManager (812)"};
    form->Button2Click();
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].text, "Schnittstelle konnte nicht geöffnet werden!\nDie Schnittstelle "
                                  "wird von einem anderen Programm benutzt: ModemManager (812)");
    EXPECT_TRUE(view.statuses.empty());

    // The port is there again: the next click programs the device.
    port->failStep = 0;
    form->Button2Click();
    EXPECT_EQ(view.statuses.back(), "Alles OK !");
    EXPECT_FALSE(form->Program().Busy);
}

// A label in a wider face may grow to the right, but never into the control beside it.
TEST(ControlTable, LabelsMayGrowUpToTheirNeighbourOrTheWindowEdge) {
    for (const ControlEntry& entry : Controls()) {
        if (entry.kind != ControlKind::Label)
            continue;
        SCOPED_TRACE(entry.name);
        EXPECT_GE(LabelRoom(entry), entry.width);
        EXPECT_LE(entry.left + LabelRoom(entry), ClientWidth);
    }
    const ControlEntry& comPort = Control("Label3");
    EXPECT_EQ(comPort.left + LabelRoom(comPort), Control("ComboBox2").left - 2);
    const ControlEntry& info = Control("Label4");
    EXPECT_EQ(info.left + LabelRoom(info), Control("Edit2").left - 2);
}

} // namespace
