#include "GuiTestSupport.h"

#include "IntelHex.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QProgressBar>
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
    if (auto* files = qobject_cast<QFileDialog*>(modal)) {
        const QString file = chooseFile ? chooseFile(files) : QString();
        if (file.isEmpty()) {
            files->reject();
        } else {
            files->selectFile(file);
            static_cast<QDialog*>(files)->accept(); // QFileDialog::accept, which checks the file
        }
        return;
    }
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
    form = std::make_unique<RecordingView>(std::move(port), [this] { return system.Ports(); });
    QObject::connect(form->Edit2, &QLineEdit::textChanged,
                     [this](const QString& text) { statuses.push_back(text); });
    QObject::connect(form->ProgressBar1, &QProgressBar::valueChanged,
                     [this](int value) { progress.push_back(value); });
    QObject::connect(form.get(), &QtMainView::ProgramEnds, [this] { ++endProgram; });
    form->show();
}

Firmware MakeFirmware(int records) {
    Firmware firmware;
    const uint16_t start = 0x1100;
    std::vector<uint8_t> data;
    for (int r = 0; r < records; ++r)
        for (int k = 0; k < 16; ++k)
            data.push_back(static_cast<uint8_t>(r * 31 + k * 7 + 3));
    for (size_t k = 0; k < data.size(); ++k)
        firmware.image[static_cast<uint16_t>(start + k)] = data[k];
    firmware.text = IntelHex(start, data, 16, "\r\n");
    return firmware;
}
