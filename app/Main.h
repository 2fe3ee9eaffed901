// TMainForm, the window's logic over a view, and the window's fixed names.
#pragma once

#include "MainView.h"
#include "MessageText.h"
#include "ProfileFile.h"
#include "Programmer.h"
#include "SerialPort.h"
#include "SerialPortList.h"
#include "WindowServices.h"

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

inline const std::string WindowCaption = "QV Morvik 2 Softwareupdate";
// The application title: the taskbar button's text and the exception display's caption.
inline const std::string ApplicationTitle = "QV Update Morvik 2";

// Virtual key codes the window acts on.
constexpr int VkEscape = 27;
constexpr int VkF10 = 121;

// The program's only window, without its toolkit: start-up, the settings file, the handlers of
// clicks, keys, the port selector and the timer, the close, and the services the programming
// run uses. A view (MainView) shows it and calls its handlers; the logic lives here only.
class TMainForm : public WindowServices {
public:
    using PortEnumeration = std::function<std::vector<SerialPortInfo>()>;

    // Without `port`, the platform's backend; without `enumeratePorts`, the ports the system
    // reports. A run opens the chosen port as the working directory's MV2.ini maps it.
    explicit TMainForm(MainView& view, std::unique_ptr<SerialPort> port = nullptr,
                       PortEnumeration enumeratePorts = {});
    ~TMainForm() override;
    TMainForm(const TMainForm&) = delete;
    TMainForm& operator=(const TMainForm&) = delete;

    std::string AppDir; // empty when the working directory cannot be determined
    bool HexFileAvailable = false;

    // Busy, StopRequested and Setup.Port live here.
    Programmer& Program() { return programmer_; }

    void FormCreate();
    // Every attempt to close the window; true: the window may close.
    bool FormCloseQuery();
    // The window has closed.
    void FormClose();
    void Button2Click();
    void Button3Click();
    void ComboBox2Change(int index);
    // The port list is about to open: adapters come and go, so it is built anew.
    void ComboBox2DropDown();
    // Key preview: true when the key goes no further than here.
    bool FormKeyDown(int virtualKey);
    void Timer1Timer();

    // The firmware file the next run writes: one named on the command line, dropped on the
    // window or chosen in the file dialog, as an absolute path; without any,
    // FirmwareFileName in the working directory. Looked for once, when chosen.
    void ChooseFirmwareFile(const std::string& path);
    const std::string& FirmwareFile() const { return firmwareFile_; }
    // A file may be dropped on the window: not while a run is busy with the one chosen before.
    bool AcceptsDrop() const { return !programmer_.Busy; }
    // A file dropped on the window; false when it is not taken.
    bool FileDropped(const std::string& path);

    void SetStatus(const std::string& text) override;
    void SetProgress(int percent) override;
    void ShowMessage(const std::string& text) override;
    void ProcessMessages() override;
    void WaitForPacingTimer() override;
    void Beep() override;

    // The application's default exception display.
    void ShowException(const std::exception& error);

private:
    // An item of ComboBox2: the port it stores and opens, and the text it shows.
    struct PortItem {
        std::string port;
        std::string text;
    };

    // COM1 to COM16, the higher COM ports the system reports, its other serial ports (adapters
    // on POSIX, by device), then `chosen` if it is none of these.
    static std::vector<PortItem> PortList(const std::vector<SerialPortInfo>& present,
                                          const std::string& chosen);
    void ShowPorts();
    void ShowFirmwareFile();
    // No firmware file at the click: the message, then the file dialog, until a file is chosen
    // or the user cancels; true when there is one to write.
    bool AskForFirmwareFile();

    MainView& view_;
    std::unique_ptr<ProfileFile> SettingsFile;
    std::optional<std::string> settingsPath_;
    std::unique_ptr<SerialPort> port_;
    PortEnumeration enumeratePorts_;
    std::vector<PortItem> ports_; // ComboBox2's items
    std::string firmwareFile_ = FirmwareFileName;
    // The folder of the file chosen last, where the file dialog starts; in memory only, as
    // MV2.ini holds nothing but the port.
    std::string lastFolder_;
    Programmer programmer_;
    bool timer1Enabled_ = false;
    bool closed_ = false;
};
