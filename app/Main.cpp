#include "Main.h"

#include "MessageText.h"
#include "PortSettings.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace {

bool FileExists(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(std::filesystem::u8path(path), error);
}

// COM1 to COM16, then the higher COM ports the system reports (USB adapters get those), then
// the stored port if it is none of these: an adapter unplugged for now keeps its name.
std::vector<std::string> PortList(const std::vector<SerialPortInfo>& present,
                                  const std::string& stored) {
    std::vector<std::string> list = PortNames();
    const int listed = static_cast<int>(list.size());
    std::vector<int> higher;
    for (const SerialPortInfo& info : present)
        if (ComNumber(info.name) > listed)
            higher.push_back(ComNumber(info.name));
    std::sort(higher.begin(), higher.end());
    higher.erase(std::unique(higher.begin(), higher.end()), higher.end());
    for (int number : higher)
        list.push_back("COM" + std::to_string(number));
    if (std::find(list.begin(), list.end(), stored) == list.end())
        list.push_back(stored);
    return list;
}

} // namespace

TMainForm::TMainForm(MainView& view, std::unique_ptr<SerialPort> port,
                     PortEnumeration enumeratePorts)
    : view_(view),
      port_(port ? std::move(port)
                 : CreateSerialPort([this](const std::string& name) -> std::optional<std::string> {
                       if (!settingsPath_)
                           return std::nullopt;
                       return PortsSectionLookup(*settingsPath_)(name);
                   })),
      enumeratePorts_(enumeratePorts ? std::move(enumeratePorts)
                                     : PortEnumeration([] { return EnumerateSerialPorts(); })),
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

    // Only what names no port at all is replaced; a port that is missing now fails when opened.
    if (!IsPortName(port))
        port = PortNames().front();
    ports_ = PortList(enumeratePorts_(), port);
    view_.SetPorts(ports_);
    // Not the user's choice: ComboBox2Change does not run.
    view_.SelectPort(int(std::find(ports_.begin(), ports_.end(), port) - ports_.begin()));

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
    if (index >= 0 && size_t(index) < ports_.size())
        programmer_.Setup.Port = ports_[size_t(index)];
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
