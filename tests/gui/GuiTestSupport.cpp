#include "GuiTestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QProgressBar>
#include <cstdio>
#include <filesystem>

ModalBoxes::ModalBoxes() {
    QObject::connect(&timer_, &QTimer::timeout, this, &ModalBoxes::Check);
    timer_.start(10);
}

void ModalBoxes::Check() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal)
        return;
    Box box;
    box.title = modal->windowTitle();
    if (auto* message = qobject_cast<QMessageBox*>(modal)) {
        box.text = message->text();
        box.icon = message->icon();
        box.buttons = message->standardButtons();
        if (answer) {
            seen.push_back(box);
            answer(modal);
            return;
        }
        if (QAbstractButton* ok = message->button(QMessageBox::Ok)) {
            seen.push_back(box);
            ok->click();
            return;
        }
    }
    seen.push_back(box);
    if (auto* dialog = qobject_cast<QDialog*>(modal))
        dialog->accept();
    else
        modal->close();
}

void RecordingView::Beep() {
    ++beeps;
    QtMainView::Beep();
}

void FormTest::Start(std::unique_ptr<SerialPort> port) {
    form = std::make_unique<RecordingView>(std::move(port));
    QObject::connect(form->Edit2, &QLineEdit::textChanged,
                     [this](const QString& text) { statuses.push_back(text); });
    QObject::connect(form->ProgressBar1, &QProgressBar::valueChanged,
                     [this](int value) { progress.push_back(value); });
    QObject::connect(form.get(), &QtMainView::ProgramEnds, [this] { ++endProgram; });
    form->show();
}

std::string DataRecord(uint16_t address, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> bytes{static_cast<uint8_t>(data.size()),
                               static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address),
                               0x00};
    bytes.insert(bytes.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (uint8_t b : bytes)
        sum += b;
    bytes.push_back(static_cast<uint8_t>(-sum));
    std::string line = ":";
    char pair[3];
    for (uint8_t b : bytes) {
        std::snprintf(pair, sizeof pair, "%02X", b);
        line += pair;
    }
    return line;
}

Firmware MakeFirmware(int records) {
    Firmware firmware;
    for (int r = 0; r < records; ++r) {
        const auto address = static_cast<uint16_t>(0x1100 + 16 * r);
        std::vector<uint8_t> data;
        for (int k = 0; k < 16; ++k)
            data.push_back(static_cast<uint8_t>(r * 31 + k * 7 + 3));
        for (size_t k = 0; k < data.size(); ++k)
            firmware.image[static_cast<uint16_t>(address + k)] = data[k];
        firmware.text += DataRecord(address, data) + "\r\n";
    }
    firmware.text += ":00000001FF\r\n";
    return firmware;
}
