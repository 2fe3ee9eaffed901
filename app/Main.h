#pragma once

#include "AsUrlLabel.h"
#include "ProfileFile.h"
#include "Programmer.h"
#include "SerialPort.h"
#include "WindowServices.h"

#include <QWidget>
#include <memory>
#include <optional>
#include <string>

class QCloseEvent;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;

inline constexpr const char* WindowCaption = "QV Morvik 2 Softwareupdate";

// The program's only window: the steps of an update, the port selector, the programme and
// stop buttons, the status line and the progress bar. It owns the programming state and the
// serial port, and shows the run.
class TMainForm : public QWidget, public WindowServices {
    Q_OBJECT

public:
    // Without `port`, the platform's backend, with "COMn" looked up in the settings file.
    explicit TMainForm(std::unique_ptr<SerialPort> port = nullptr);
    ~TMainForm() override;

    QLabel* Image1 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* Label10 = nullptr;
    QLabel* Label3 = nullptr;
    QComboBox* ComboBox2 = nullptr;
    QWidget* Bevel1 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QLabel* Label4 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Button3 = nullptr;
    QWidget* Bevel2 = nullptr;
    QLabel* Label1 = nullptr;
    TAsUrlLabel* AsUrlLabel1 = nullptr;
    QTimer* Timer1 = nullptr;

    std::string AppDir;
    bool HexFileAvailable = false;

    // Busy, StopRequested and Setup.Port live here.
    Programmer& Program() { return programmer_; }

    void Button2Click();
    void Button3Click();
    void ComboBox2Change(int index);
    // True when the key goes no further than here.
    bool FormKeyDown(int key);
    void Timer1Timer();
    void FormCreate();
    bool FormCloseQuery();

    void SetStatus(const std::string& text) override;
    void SetProgress(int percent) override;
    void ShowMessage(const std::string& text) override;
    void ProcessMessages() override;
    void WaitForPacingTimer() override;
    void Beep() override;

signals:
    // The window has closed and no run is left on the stack: the program may end.
    void EndProgram();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateControls();
    TAsUrlLabel* CreateLinkLabel();

    std::unique_ptr<ProfileFile> SettingsFile;
    std::optional<std::string> settingsPath_;
    std::unique_ptr<SerialPort> port_;
    Programmer programmer_;
    bool closed_ = false;
};
