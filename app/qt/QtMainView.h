// The window's view in Qt, for Linux.
#pragma once

#include "AsUrlLabel.h"
#include "Main.h"
#include "MainView.h"

#include <QWidget>
#include <map>
#include <memory>
#include <string>

class QCloseEvent;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QMimeData;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;

// The window drawn with Qt: builds the controls of the control table, shows what TMainForm
// asks for, and turns Qt's events into TMainForm's handlers. It owns the window's logic.
class QtMainView : public QWidget, public MainView {
    Q_OBJECT

public:
    // Without `enumeratePorts`, the ports the system reports.
    explicit QtMainView(std::unique_ptr<SerialPort> port = nullptr,
                        TMainForm::PortEnumeration enumeratePorts = {});
    ~QtMainView() override;

    TMainForm& Form() { return *form_; }
    // The control of that name in the control table.
    QWidget* Control(const std::string& name) const;

    QLabel* Image1 = nullptr;
    QComboBox* ComboBox2 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Button3 = nullptr;
    TAsUrlLabel* AsUrlLabel1 = nullptr;
    QTimer* Timer1 = nullptr;

    void SetCaption(const std::string& text) override;
    void SetStatusText(const std::string& text) override;
    void SetStatusToolTip(const std::string& text) override;
    void SetProgress(int percent) override;
    void SetPorts(const std::vector<std::string>& names) override;
    void SelectPort(int index) override;
    void ShowMessageBox(const std::string& caption, const std::string& text, BoxIcon icon) override;
    std::optional<std::string> ChooseFile(const FileDialog& dialog) override;
    void ProcessMessages() override;
    void WaitForMessages() override;
    void SetTimer1(bool enabled) override;
    void Beep() override;
    void CloseWindow() override;
    void EndProgram() override;

signals:
    // The window has closed and no run is left on the stack: the program may end.
    void ProgramEnds();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void CreateControls();
    QWidget* CreateControl(const struct ControlEntry& entry);
    QLabel* CreatePicture(const struct ControlEntry& entry);
    QLineEdit* CreateStatusEdit();
    TAsUrlLabel* CreateLinkLabel();
    // The one local file a drag carries, UTF-8; empty when it carries anything else.
    static std::string DraggedFile(const QMimeData* data);

    std::map<std::string, QWidget*> controls_;
    std::unique_ptr<TMainForm> form_;
};
