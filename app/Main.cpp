#include "Main.h"

#include "MessageText.h"
#include "PortSettings.h"

#include <filesystem>
#include <system_error>

namespace {

bool FileExists(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

} // namespace

TMainForm::TMainForm(MainView& view, std::unique_ptr<SerialPort> port)
    : view_(view),
      port_(port ? std::move(port)
                 : CreateSerialPort([this](const std::string& name) -> std::optional<std::string> {
                       if (!settingsPath_)
                           return std::nullopt;
                       return PortsSectionLookup(*settingsPath_)(name);
                   })),
      programmer_(*this, *port_) {}

TMainForm::~TMainForm() = default;

void TMainForm::FormCreate() {
    programmer_.Busy = false;
    view_.SetCaption(WindowCaption);
    // Without a working directory (deleted under the program) there is no settings file to
    // read, and none is written anywhere else.
    settingsPath_ = SettingsPathInWorkingDirectory();
    AppDir = settingsPath_
                 ? settingsPath_->substr(0, settingsPath_->size() - SettingsFileName.size())
                 : std::string();
    SettingsFile = std::make_unique<ProfileFile>(
        settingsPath_ ? ProfileFile(*settingsPath_) : ProfileFile::Unavailable(SettingsFileName));
    std::string& port = programmer_.Setup.Port;
    port = settingsPath_ && FileExists(*settingsPath_)
               ? SettingsFile->ReadString("Setup", "Port", "")
               : "COM1";

    int index = PortIndex(port);
    if (index < 0) {
        index = 0;
        port = PortNames().front();
    }
    view_.SetPorts(PortNames());
    view_.SelectPort(index); // not the user's choice: ComboBox2Change does not run

    HexFileAvailable = FileExists(FirmwareFileName);
}

bool TMainForm::FormCloseQuery() {
    programmer_.StopRequested = true;
    if (SettingsFile) {
        // Released before the write: even a failed write is not tried a second time.
        const std::unique_ptr<ProfileFile> settings = std::move(SettingsFile);
        try {
            settings->WriteString("Setup", "Port", programmer_.Setup.Port);
        } catch (const std::exception& error) {
            ShowException(error);
        }
    }
    programmer_.ReleaseForClose();
    return true;
}

void TMainForm::FormClose() {
    closed_ = true;
    // A run still on the stack ends the program when it has unwound (Button2Click).
    if (!programmer_.Busy)
        view_.EndProgram();
}

void TMainForm::Button2Click() {
    if (!HexFileAvailable) {
        ShowMessage(MessageText::NoFirmwareFile);
        return;
    }
    try {
        programmer_.Programing(FirmwareFileName);
    } catch (const std::exception& error) {
        if (!closed_)
            ShowException(error);
    }
    if (closed_ && !programmer_.Busy)
        view_.EndProgram();
}

void TMainForm::Button3Click() {
    programmer_.StopRequested = true;
}

void TMainForm::ComboBox2Change(int index) {
    programmer_.StopRequested = true;
    const auto& names = PortNames();
    if (index >= 0 && size_t(index) < names.size())
        programmer_.Setup.Port = names[size_t(index)];
}

bool TMainForm::FormKeyDown(int virtualKey) {
    switch (virtualKey) {
    case VkEscape:
        programmer_.StopRequested = true;
        return false; // passes on like any other key
    case VkF10:
        view_.CloseWindow();
        return true;
    default:
        return false;
    }
}

void TMainForm::Timer1Timer() {
    timer1Enabled_ = false;
    view_.SetTimer1(false);
}

void TMainForm::SetStatus(const std::string& text) {
    view_.SetStatusText(text);
}

void TMainForm::SetProgress(int percent) {
    view_.SetProgress(percent);
}

void TMainForm::ShowMessage(const std::string& text) {
    view_.ShowMessageBox(WindowCaption, DisplayText(text), MainView::BoxIcon::None);
}

void TMainForm::ShowException(const std::exception& error) {
    view_.ShowMessageBox(ApplicationTitle, ExceptionText(error.what()), MainView::BoxIcon::Error);
}

void TMainForm::ProcessMessages() {
    view_.ProcessMessages();
}

void TMainForm::WaitForPacingTimer() {
    timer1Enabled_ = true;
    view_.SetTimer1(true);
    while (timer1Enabled_)
        view_.WaitForMessages();
}

void TMainForm::Beep() {
    view_.Beep();
}
