// Whole runs through the Qt window against the simulated Morvik 2 on a pseudo-terminal, mapped
// to COM1 through section "Ports" of MV2.ini: the clicks, the pacing timer, the close box and
// the real port working together. (The window's logic on its own: tests/app.)
#include "GuiTestSupport.h"

#include "CommandLine.h"
#include "PtyDevice.h"

#include <QApplication>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QUrl>
#include <filesystem>

namespace {

class RunTest : public FormTest {
protected:
    RunTest() : device(DeviceOptions{}), firmware(MakeFirmware(40)) {
        device.Start();
        dir.Write("MV2.ini", "[Ports]\r\nCOM1=" + device.SlavePath() + "\r\n");
        dir.Write("Morvik2 update.QV", firmware.text);
    }

    // Runs `action` once, inside the run, when the transfer has begun.
    void DuringTransfer(std::function<void()> action) {
        QObject::connect(form->ProgressBar1, &QProgressBar::valueChanged,
                         [this, action = std::move(action)](int value) {
                             if (value > 0 && !acted) {
                                 acted = true;
                                 action();
                             }
                         });
    }

    // Whether the port is free again: the run or the close has closed it.
    bool PortFree() const {
        auto probe = CreateSerialPort();
        const bool opened = probe->Open(device.SlavePath());
        probe->CloseHandle();
        return opened;
    }

    PtyDevice device;
    Firmware firmware;
    bool acted = false;
};

// What the window logic's tests cannot see: the device's image, the real port freed, the widgets.
TEST_F(RunTest, ClickWritesTheImageIntoTheDeviceAndFreesThePort) {
    Start();
    ASSERT_TRUE(form->Form().HexFileAvailable);
    QTest::mouseClick(form->Button2, Qt::LeftButton);

    EXPECT_EQ(form->Edit2->text(), "Alles OK !");
    EXPECT_EQ(form->ProgressBar1->value(), 100);
    EXPECT_TRUE(boxes.seen.empty());

    const Bootloader seen = device.Snapshot();
    EXPECT_EQ(seen.Frames(), 40);
    EXPECT_EQ(seen.EndCommands(), 1);
    EXPECT_EQ(seen.Image(), firmware.image);
    EXPECT_FALSE(form->Form().Program().Busy);
    EXPECT_TRUE(PortFree());
    EXPECT_EQ(endProgram, 0);
}

// The Qt close event during a run: the window goes, the real port is free at once, the device
// gets no end command and MV2.ini gains the port. (When the program ends: tests/app.)
TEST_F(RunTest, TheCloseBoxDuringARunFreesThePortAndStoresIt) {
    Start();
    bool freeAtClose = false;
    DuringTransfer([&] {
        form->close();
        freeAtClose = PortFree();
        EXPECT_FALSE(form->isVisible());
    });
    QTest::mouseClick(form->Button2, Qt::LeftButton);

    ASSERT_TRUE(acted);
    EXPECT_TRUE(freeAtClose);
    EXPECT_EQ(endProgram, 1);
    EXPECT_EQ(device.Snapshot().EndCommands(), 0);
    EXPECT_EQ(dir.Read("MV2.ini"),
              "[Ports]\r\nCOM1=" + device.SlavePath() + "\r\n[Setup]\r\nPort=COM1\r\n");
}

// A firmware file from elsewhere, named on the command line or dropped on the window, is the one
// written; the status line names it until the run begins.
TEST_F(RunTest, AFileNamedOnTheCommandLineOrDroppedIsTheOneWritten) {
    const Firmware other = MakeFirmware(12);
    dir.MakeDirectory("Downloads");
    dir.Write("Downloads/neu.QV", other.text);

    Start();
    const WindowCommandLine line = ParseWindowCommandLine({"Downloads/neu.QV"});
    form->Form().ChooseFirmwareFile(line.file);
    EXPECT_EQ(form->Edit2->text().toStdString(), "Datei: neu.QV");
    EXPECT_EQ(form->Edit2->toolTip().toStdString(), dir.Path("Downloads/neu.QV"));
    QTest::mouseClick(form->Button2, Qt::LeftButton);
    EXPECT_EQ(statuses.back(), "Alles OK !");
    EXPECT_EQ(device.Snapshot().Image(), other.image);
    EXPECT_EQ(device.Snapshot().Frames(), 12);

    // Dropped from a file manager: a local file, as a URL.
    const Firmware dropped = MakeFirmware(7);
    dir.Write("Downloads/älter.QV", dropped.text);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(dir.Path("Downloads/älter.QV")))});
    const QPoint at = form->Button2->geometry().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form.get(), &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_EQ(form->Edit2->text().toStdString(), "Datei: älter.QV");
    QTest::mouseClick(form->Button2, Qt::LeftButton);
    EXPECT_EQ(statuses.back(), "Alles OK !");
    // The same records as the first 7 of the one before: the count tells them apart.
    EXPECT_EQ(device.Snapshot().Frames(), 12 + 7);
    EXPECT_EQ(device.Snapshot().EndCommands(), 2);

    // Several files, or anything but a local file, are not taken.
    QMimeData several;
    several.setUrls({QUrl::fromLocalFile(QString::fromStdString(dir.Path("Morvik2 update.QV"))),
                     QUrl::fromLocalFile(QString::fromStdString(dir.Path("Downloads/neu.QV")))});
    QMimeData web;
    web.setUrls({QUrl("https://www.example.com/morvik2/update.QV")});
    for (QMimeData* refused : {&several, &web}) {
        QDragEnterEvent refusedEnter(at, Qt::CopyAction, refused, Qt::LeftButton, Qt::NoModifier);
        refusedEnter.setAccepted(false);
        QApplication::sendEvent(form.get(), &refusedEnter);
        EXPECT_FALSE(refusedEnter.isAccepted());
    }
    EXPECT_EQ(form->Form().FirmwareFile(), dir.Path("Downloads/älter.QV"));
    EXPECT_TRUE(boxes.seen.empty());
}

// Without a firmware file the message is followed by Qt's file dialog, in the download folder:
// Cancel writes nothing, a file chosen there is written at once.
TEST_F(RunTest, AFileChosenInTheDialogIsWrittenAtOnce) {
    ScopedEnvironment home("HOME", dir.Path("home").c_str());
    ScopedEnvironment config("XDG_CONFIG_HOME", nullptr);
    std::filesystem::remove(dir.Path("Morvik2 update.QV"));
    const Firmware other = MakeFirmware(12);
    dir.MakeDirectory("home/Downloads");
    dir.Write("home/Downloads/neu.QV", other.text);
    const QString chosen = QString::fromStdString(dir.Path("home/Downloads/neu.QV"));
    std::vector<QString> titles, folders;
    QStringList filters;
    boxes.chooseFile = [&](QFileDialog* dialog) {
        titles.push_back(dialog->windowTitle());
        folders.push_back(dialog->directory().absolutePath());
        filters = dialog->nameFilters();
        return titles.size() == 1 ? QString() : chosen;
    };

    Start();
    QTest::mouseClick(form->Button2, Qt::LeftButton);
    EXPECT_TRUE(statuses.empty());
    EXPECT_EQ(device.Snapshot().Frames(), 0);
    QTest::mouseClick(form->Button2, Qt::LeftButton);

    EXPECT_EQ(boxes.seen.size(), 4u); // each click's message, then its dialog (texts: tests/app)
    EXPECT_EQ(titles, std::vector<QString>(2, QString::fromUtf8("Update-Datei wählen")));
    EXPECT_EQ(folders, std::vector<QString>(2, QString::fromStdString(dir.Path("home/Downloads"))));
    EXPECT_EQ(filters, QStringList({"Morvik 2 Update (*.QV)", "Alle Dateien (*)"}));
    ASSERT_FALSE(statuses.empty());
    EXPECT_EQ(statuses.front(), "Datei: neu.QV");
    EXPECT_EQ(form->Edit2->toolTip(), chosen);
    EXPECT_EQ(device.Snapshot().Image(), other.image);
    EXPECT_EQ(device.Snapshot().Frames(), 12);
}

} // namespace
