// Start-up and shutdown: the port kept in MV2.ini, the firmware file's presence, and what a
// close does.
#include "GuiTestSupport.h"

#include "Fakes.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QPushButton>
#include <QTest>
#include <filesystem>

namespace {

namespace fs = std::filesystem;

using SettingsTest = FormTest;

TEST_F(SettingsTest, StoredPortIsShownOrCom1AndTheCloseStoresTheChosenOne) {
    const struct {
        const char* stored; // nullptr: no MV2.ini
        const char* shown;
        int chosen; // index chosen by the user, or -1
        const char* afterClose;
    } cases[] = {
        {nullptr, "COM1", -1, "[Setup]\r\nPort=COM1\r\n"},
        {"[Setup]\r\nPort=COM12\r\n", "COM12", 4, "[Setup]\r\nPort=COM5\r\n"},
        {"[setup]\nPORT=COM16\n", "COM16", -1, "[setup]\nPORT=COM16\n"},
        {"[Setup]\r\nPort=com3\r\n", "COM1", -1, "[Setup]\r\nPort=COM1\r\n"},
        {"[Setup]\r\nPort=COM17\r\n", "COM1", -1, "[Setup]\r\nPort=COM1\r\n"},
        {"[Setup]\r\nSpeed=9600\r\n", "COM1", -1, "[Setup]\r\nSpeed=9600\r\nPort=COM1\r\n"},
        {"\x01garbage", "COM1", -1, "\x01garbage\r\n[Setup]\r\nPort=COM1\r\n"},
        // Other sections, keys, comments and blank lines stay as they are.
        {"; bench\r\n[Ports]\r\nCOM3=/dev/ttyUSB0\r\n\r\n[Setup]\r\nLang=de\r\nPort=COM3\r\n; "
         "end\r\n",
         "COM3", 1,
         "; bench\r\n[Ports]\r\nCOM3=/dev/ttyUSB0\r\n\r\n[Setup]\r\nLang=de\r\nPort=COM2\r\n; "
         "end\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored ? c.stored : "no MV2.ini");
        std::filesystem::remove(dir.Path("MV2.ini"));
        if (c.stored)
            dir.Write("MV2.ini", c.stored);
        Start();
        EXPECT_EQ(form->ComboBox2->currentText(), c.shown);
        EXPECT_EQ(form->Program().Setup.Port, c.shown);
        if (c.chosen >= 0) {
            form->ComboBox2->setCurrentIndex(c.chosen);
            emit form->ComboBox2->activated(c.chosen);
        }
        EXPECT_EQ(fs::exists(dir.Path("MV2.ini")), c.stored != nullptr); // nothing written yet
        form->close();
        EXPECT_EQ(dir.Read("MV2.ini"), c.afterClose);
    }
    EXPECT_EQ(endProgram, 8);
}

// The program's own directory is not the working directory here: the build directory is.
TEST_F(SettingsTest, FilesAreLookedForInTheWorkingDirectory) {
    const fs::path programDir = QCoreApplication::applicationDirPath().toStdString();
    ASSERT_FALSE(fs::exists(programDir / "MV2.ini"));
    dir.MakeDirectory("sub");
    dir.Write("sub/MV2.ini", "[Setup]\r\nPort=COM4\r\n");
    dir.Write("sub/Morvik2 update.QV", "");
    Start();
    EXPECT_FALSE(form->HexFileAvailable);
    EXPECT_EQ(form->ComboBox2->currentText(), "COM1");

    WorkingDirectory sub(dir.Path("sub"));
    Start();
    EXPECT_EQ(form->AppDir, dir.Path("sub") + "/");
    EXPECT_TRUE(form->HexFileAvailable);
    EXPECT_EQ(form->ComboBox2->currentText(), "COM4");
    form->close();
    EXPECT_EQ(dir.Read("sub/MV2.ini"), "[Setup]\r\nPort=COM4\r\n");
    EXPECT_FALSE(fs::exists(programDir / "MV2.ini"));
}

TEST_F(SettingsTest, FailedWriteIsShownAndTheWindowStillCloses) {
    dir.MakeDirectory("MV2.ini"); // no one, not even root, writes a file there
    Start();
    EXPECT_EQ(form->ComboBox2->currentText(), "COM1");
    form->close();

    ASSERT_EQ(boxes.seen.size(), 1u);
    const ModalBoxes::Box& box = boxes.seen[0];
    EXPECT_EQ(box.title, "QV Update Morvik 2");
    EXPECT_EQ(box.text, QString::fromStdString("In " + dir.Path("MV2.ini") +
                                               " kann nicht geschrieben werden."));
    EXPECT_EQ(box.icon, QMessageBox::Critical);
    EXPECT_EQ(box.buttons, QMessageBox::Ok);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(endProgram, 1);

    // The settings are written once per program run: a second close tries nothing.
    form->show();
    form->close();
    EXPECT_EQ(boxes.seen.size(), 1u);
    EXPECT_TRUE(fs::is_directory(dir.Path("MV2.ini")));
}

// Deleted under the program: no settings file is read, and none is written anywhere else.
TEST_F(SettingsTest, WithoutAWorkingDirectoryNothingIsReadOrWrittenElsewhere) {
    const fs::path root = fs::path("/") / "MV2.ini";
    ASSERT_FALSE(fs::exists(root)) << "a settings file in the root directory is in the way";
    dir.MakeDirectory("gone");
    WorkingDirectory gone(dir.Path("gone"));
    fs::remove(dir.Path("gone"));
    Start();
    EXPECT_EQ(form->ComboBox2->currentText(), "COM1");
    form->close();
    const bool writtenToRoot = fs::exists(root);
    if (writtenToRoot)
        fs::remove(root);
    EXPECT_FALSE(writtenToRoot);
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].text, "In MV2.ini kann nicht geschrieben werden.");
    EXPECT_EQ(endProgram, 1);
}

TEST_F(SettingsTest, WithoutFirmwareFileEveryClickSaysSoAndOpensNoPort) {
    EventLog log;
    auto port = std::make_unique<FakeSerialPort>(log);
    FakeSerialPort& fake = *port;
    Start(std::move(port));
    EXPECT_FALSE(form->HexFileAvailable);

    QTest::mouseClick(form->Button2, Qt::LeftButton);
    // Added after start-up: not seen until the next start.
    dir.Write("Morvik2 update.QV", MakeFirmware(2).text);
    QTest::mouseClick(form->Button2, Qt::LeftButton);

    ASSERT_EQ(boxes.seen.size(), 2u);
    for (const ModalBoxes::Box& box : boxes.seen) {
        EXPECT_EQ(box.title, "QV Morvik 2 Softwareupdate");
        EXPECT_EQ(box.text, QString::fromUtf8("Keine hex Datei ausgewählt oder \n"
                                              "Datei existiert nicht!"));
        EXPECT_EQ(box.icon, QMessageBox::NoIcon);
        EXPECT_EQ(box.buttons, QMessageBox::Ok);
    }
    EXPECT_EQ(fake.opens, 0);
    EXPECT_TRUE(statuses.empty());
    EXPECT_FALSE(form->Program().Busy);
}

} // namespace
