// TMainForm: the window's logic, from start-up to close, without a toolkit.
#include "Main.h"

#include "MessageText.h"
#include "PortResolver.h"
#include "PortSettings.h"
#include "UserFolder.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

bool FileExists(const std::string& path) {
    std::error_code error;
    return fs::is_regular_file(fs::u8path(path), error);
}

// What an adapter is shown as: its device, and what the system calls it.
std::string AdapterText(const SerialPortInfo& info) {
    return info.description.empty() ? info.name : info.name + " – " + Printable(info.description);
}

} // namespace

// An adapter unplugged for now, or a stored port no system reports, keeps its name: opening it
// fails with the usual message.
std::vector<TMainForm::PortItem> TMainForm::PortList(const std::vector<SerialPortInfo>& present,
                                                     const std::string& chosen) {
    std::vector<PortItem> list;
    for (const std::string& name : PortNames())
        list.push_back({name, name});
    const int listed = static_cast<int>(list.size());
    std::vector<int> higher;
    std::vector<PortItem> adapters;
    for (const SerialPortInfo& info : present) {
        const int number = ComNumber(info.name);
        if (number > listed) {
            higher.push_back(number);
        } else if (number == 0 && IsPortName(info.name)) {
            // Stored by the path that survives replugging; a port stored by either of its
            // names is used as it is.
            std::string port = IsPortName(info.stablePath) ? info.stablePath : info.name;
            if (chosen == info.name || chosen == info.stablePath)
                port = chosen;
            adapters.push_back({port, AdapterText(info)});
        }
    }
    std::sort(higher.begin(), higher.end());
    higher.erase(std::unique(higher.begin(), higher.end()), higher.end());
    for (int number : higher)
        list.push_back({"COM" + std::to_string(number), "COM" + std::to_string(number)});
    list.insert(list.end(), adapters.begin(), adapters.end());
    if (std::none_of(list.begin(), list.end(),
                     [&](const PortItem& item) { return item.port == chosen; }))
        list.push_back({chosen, chosen});
    return list;
}

TMainForm::TMainForm(MainView& view, std::unique_ptr<SerialPort> port,
                     PortEnumeration enumeratePorts)
    : view_(view), port_(port ? std::move(port) : CreateSerialPort()),
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
    // Only what names no port at all is passed over; a port that is missing now fails when
    // opened.
    programmer_.Setup.Port =
        (settingsPath_ ? StoredPort(*settingsPath_) : std::nullopt).value_or(PortNames().front());
    ShowPorts();

    HexFileAvailable = FileExists(firmwareFile_);
}

void TMainForm::ShowPorts() {
    const std::string& chosen = programmer_.Setup.Port;
    ports_ = PortList(enumeratePorts_(), chosen);
    std::vector<std::string> texts;
    for (const PortItem& item : ports_)
        texts.push_back(item.text);
    view_.SetPorts(texts);
    // Not the user's choice: ComboBox2Change does not run.
    view_.SelectPort(int(std::find_if(ports_.begin(), ports_.end(),
                                      [&](const PortItem& item) { return item.port == chosen; }) -
                         ports_.begin()));
}

void TMainForm::ChooseFirmwareFile(const std::string& path) {
    std::error_code error;
    const fs::path absolute = fs::absolute(fs::u8path(path), error);
    firmwareFile_ = error ? path : absolute.u8string();
    HexFileAvailable = FileExists(firmwareFile_);
    const fs::path folder = fs::u8path(firmwareFile_).parent_path();
    if (fs::is_directory(folder, error))
        lastFolder_ = folder.u8string();
    ShowFirmwareFile();
}

bool TMainForm::FileDropped(const std::string& path) {
    if (!AcceptsDrop())
        return false;
    ChooseFirmwareFile(path);
    return true;
}

// The file is named in the status line unless it is the one the working directory holds.
void TMainForm::ShowFirmwareFile() {
    const fs::path chosen = fs::u8path(firmwareFile_);
    const fs::path standard = fs::u8path(AppDir + FirmwareFileName);
    std::error_code error;
    const bool isDefault =
        !AppDir.empty() && (fs::equivalent(chosen, standard, error) ||
                            chosen.lexically_normal() == standard.lexically_normal());
    // A path cut to fit would hide the name, which tells one update from another.
    const std::string name = chosen.filename().u8string();
    view_.SetStatusText(isDefault ? std::string()
                                  : "Datei: " + (name.empty() ? firmwareFile_ : name));
    view_.SetStatusToolTip(isDefault ? std::string() : firmwareFile_);
}

bool TMainForm::AskForFirmwareFile() {
    while (!HexFileAvailable) {
        ShowMessage(MessageText::NoFirmwareFile);
        if (closed_)
            return false;
        const std::optional<std::string> chosen =
            view_.ChooseFile({"Update-Datei wählen",
                              {{"Morvik 2 Update (*.QV)", "*.QV"}, {"Alle Dateien (*)", "*"}},
                              lastFolder_.empty() ? DownloadFolder() : lastFolder_});
        if (!chosen || closed_)
            return false;
        ChooseFirmwareFile(*chosen);
    }
    return true;
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
    // A click during a run changes nothing: no dialog, no second run.
    if (programmer_.Busy)
        return;
    try {
        // The user asked to program: a file chosen now is written at once.
        if (!AskForFirmwareFile())
            return;
        programmer_.Programing(firmwareFile_,
                               ResolvePortPath(programmer_.Setup.Port, settingsPath_));
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
        programmer_.Setup.Port = ports_[size_t(index)].port;
}

void TMainForm::ComboBox2DropDown() {
    ShowPorts();
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
