// Faults met through the Qt window: no spinning while the device is silent, keys in message
// boxes, clicks and Esc presses during a run, a pacing wait cut short. (The window's logic on
// its own: tests/app.)
#include "GuiTestSupport.h"

#include "ControlTable.h"
#include "PtyDevice.h"

#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>

namespace {

double ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

class WindowFaultTest : public FormTest {
protected:
    void StartDevice(DeviceOptions options = {}) {
        device = std::make_unique<PtyDevice>(options);
        device->Start();
        slave = device->SlavePath();
        dir.Write("MV2.ini", "[Ports]\r\nCOM1=" + slave + "\r\n");
        dir.Write("Morvik2 update.QV", MakeFirmware(30).text);
        Start();
    }

    // Runs `action` from the window's event loop `ms` after the click, in the middle of the run.
    void After(int ms, std::function<void()> action) { QTimer::singleShot(ms, form.get(), action); }

    bool PortFree() const {
        auto probe = CreateSerialPort();
        const bool opened = probe->Open(slave);
        probe->CloseHandle();
        return opened;
    }

    std::vector<QString> BoxTexts() const {
        std::vector<QString> texts;
        for (const auto& box : boxes.seen)
            texts.push_back(box.text);
        return texts;
    }

    std::unique_ptr<PtyDevice> device;
    std::string slave;
};

TEST_F(WindowFaultTest, SilentDeviceCostsNoCpuWhileTheWindowWaits) {
    DeviceOptions silent;
    silent.powerOnAfter = 1 << 30;
    StartDevice(silent);
    After(3000, [this] { QTest::mouseClick(form->Button3, Qt::LeftButton); });
    const double cpu = ThreadCpuMs();
    const auto start = std::chrono::steady_clock::now();
    QTest::mouseClick(form->Button2, Qt::LeftButton);
    const double wall =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    const double used = ThreadCpuMs() - cpu;
    std::printf("[cpu] window, device silent during the search: %.1f ms CPU over %.0f ms = %.2f "
                "%% of a core\n",
                used, wall, 100 * used / wall);
    // A busy loop costs a whole core; the fine figure is scripts/bench's.
    EXPECT_LE(100 * used / wall, 10.0);
    EXPECT_EQ(statuses.back(), "Suche abgebrochen.");
    EXPECT_TRUE(boxes.seen.empty());
    EXPECT_TRUE(PortFree());
}

// The user answers the program's boxes with the keyboard: Esc dismisses a box without stopping
// the run it reports on, F10 in a box leaves the window open.
TEST_F(WindowFaultTest, KeysPressedInAMessageBoxStayInTheBox) {
    DeviceOptions silent;
    silent.fault = Fault::Parse("silent@3");
    StartDevice(silent);
    boxes.answer = [](QWidget* box) {
        QTest::keyClick(box, Qt::Key_F10);
        QTest::keyClick(box, Qt::Key_Escape);
    };
    QTest::mouseClick(form->Button2, Qt::LeftButton);
    EXPECT_EQ(BoxTexts(), (std::vector<QString>{"Verbindung Timeout!", "Schreibfehler!"}));
    EXPECT_EQ(statuses.back(), "Schreibfehler!");
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(endProgram, 0);
    EXPECT_TRUE(PortFree());
}

TEST_F(WindowFaultTest, RepeatedClicksAndEscPressesDuringARun) {
    DeviceOptions slow;
    slow.replyDelayMs = 15;
    StartDevice(slow);
    // Clicks during the run are ignored; the Esc presses stop it.
    int clicks = 0;
    QObject::connect(form->ProgressBar1, &QProgressBar::valueChanged, [&](int value) {
        if (value > 0 && clicks < 5) {
            ++clicks;
            QTest::mouseClick(form->Button2, Qt::LeftButton);
        }
        if (value >= 30)
            for (int i = 0; i < 3; ++i)
                QTest::keyClick(form->Button2, Qt::Key_Escape);
    });
    QTest::mouseClick(form->Button2, Qt::LeftButton);
    EXPECT_EQ(clicks, 5);
    EXPECT_EQ(statuses,
              (std::vector<QString>{"Reset", "Suche nach Morvik 2.",
                                    "Schreibe Daten, bitte warten!", "Schreiben abgebrochen!"}));
    EXPECT_EQ(device->Snapshot().EndCommands(), 0);
    EXPECT_TRUE(boxes.seen.empty());
    EXPECT_TRUE(PortFree());
}

// The reset and closing pulses are one pacing wait each: the device needs the whole period.
// Load only lengthens a wait, so the lower bound may be tight.
TEST_F(WindowFaultTest, PacingWaitLastsAWholePeriod) {
    Start();
    std::string waits;
    for (int i = 0; i < 10; ++i) {
        const auto start = std::chrono::steady_clock::now();
        form->Form().WaitForPacingTimer();
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        waits += (waits.empty() ? "" : " ") + QString::number(ms, 'f', 1).toStdString();
        EXPECT_GE(ms, Timer1Interval) << "wait " << i + 1;
    }
    std::printf("[pacing] ten waits of %d ms: %s\n", Timer1Interval, waits.c_str());
}

} // namespace
