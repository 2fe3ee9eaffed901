// Whole runs through the Qt window against the simulated Morvik 2 on a pseudo-terminal, mapped
// to COM1 through section "Ports" of MV2.ini: the clicks, the pacing timer, the close box and
// the real port working together. (The window's logic on its own: tests/app.)
#include "GuiTestSupport.h"

#include "PtyDevice.h"

#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
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

TEST_F(RunTest, ClickWritesTheWholeFileAndReportsEachStep) {
    Start();
    ASSERT_TRUE(form->Form().HexFileAvailable);
    QTest::mouseClick(form->Button2, Qt::LeftButton);

    EXPECT_EQ(statuses, (std::vector<QString>{"Reset", "Suche nach Morvik 2.",
                                              "Schreibe Daten, bitte warten!", "Alles OK !"}));
    ASSERT_FALSE(progress.empty());
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(progress.back(), 100);
    EXPECT_EQ(form->ProgressBar1->value(), 100);
    EXPECT_EQ(form->beeps, 1);
    EXPECT_TRUE(boxes.seen.empty());

    const Bootloader seen = device.Snapshot();
    EXPECT_EQ(seen.Frames(), 40);
    EXPECT_EQ(seen.EndCommands(), 1);
    EXPECT_EQ(seen.Image(), firmware.image);
    EXPECT_FALSE(form->Form().Program().Busy);
    EXPECT_TRUE(PortFree());
    EXPECT_EQ(endProgram, 0);
}

TEST_F(RunTest, ClosingDuringARunEndsTheProgramOnceTheRunHasUnwound) {
    Start();
    bool freeAtClose = false;
    int endProgramAtClose = -1;
    DuringTransfer([&] {
        form->close();
        freeAtClose = PortFree();
        endProgramAtClose = endProgram;
        EXPECT_FALSE(form->isVisible());
    });
    QTest::mouseClick(form->Button2, Qt::LeftButton);

    ASSERT_TRUE(acted);
    EXPECT_TRUE(freeAtClose);
    EXPECT_EQ(endProgramAtClose, 0); // the run was still on the stack
    EXPECT_EQ(endProgram, 1);
    EXPECT_TRUE(boxes.seen.empty());
    EXPECT_EQ(device.Snapshot().EndCommands(), 0);
    EXPECT_FALSE(form->Form().Program().Busy);
    EXPECT_EQ(dir.Read("MV2.ini"),
              "[Ports]\r\nCOM1=" + device.SlavePath() + "\r\n[Setup]\r\nPort=COM1\r\n");
}

} // namespace
