#pragma once

#include "FakeSysfs.h"
#include "QtMainView.h"
#include "TempDir.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <string>
#include <vector>

// Plays the user in front of modal boxes: every box that comes up is noted and dismissed
// with its OK button.
class ModalBoxes : public QObject {
public:
    struct Box {
        QString title;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
    };

    ModalBoxes();
    std::vector<Box> seen;
    // When set, answers each box in place of its OK button; it must dismiss the box.
    std::function<void(QWidget* box)> answer;
    // When set, answers each file dialog: the file to choose, empty for Cancel (as without it).
    std::function<QString(QFileDialog* dialog)> chooseFile;

private:
    void Check();
    QTimer timer_;
};

// The window, with its beeps counted.
class RecordingView : public QtMainView {
public:
    using QtMainView::QtMainView;
    void Beep() override;
    int beeps = 0;
};

// A form in a fresh working directory, with what the window shows on record; the ports are
// those of a made-up system, with no adapter until a test plugs one in.
class FormTest : public ::testing::Test {
protected:
    FormTest() : cwd(dir.Path()), system(systemDir.Path()) {}

    // Builds the window as the program does at start-up.
    void Start(std::unique_ptr<SerialPort> port = nullptr);

    TempDir dir;
    WorkingDirectory cwd;
    TempDir systemDir;
    FakeSysfs system;
    ModalBoxes boxes;
    std::unique_ptr<RecordingView> form;
    std::vector<QString> statuses;
    std::vector<int> progress;
    int endProgram = 0;
};

// A firmware file of `records` data records of 16 bytes and an end record, and the image the
// device holds after receiving all of it.
struct Firmware {
    std::string text;
    std::map<uint16_t, uint8_t> image;
};
Firmware MakeFirmware(int records);
