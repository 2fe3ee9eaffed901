// The interface each toolkit's view gives the window's logic.
#pragma once

#include <optional>
#include <string>
#include <vector>

// What the window's logic (TMainForm) needs of a toolkit: one implementation per toolkit, each
// building its controls from the control table and translating its events into TMainForm's
// handlers. Texts are UTF-8.
class MainView {
public:
    enum class BoxIcon { None, Error };

    virtual ~MainView() = default;

    virtual void SetCaption(const std::string& text) = 0;
    virtual void SetStatusText(const std::string& text) = 0;    // Edit2
    virtual void SetStatusToolTip(const std::string& text) = 0; // Edit2's; empty for none
    virtual void SetProgress(int percent) = 0;                  // ProgressBar1, 0 to 100
    // ComboBox2's items, and the one shown; neither counts as the user's choice.
    virtual void SetPorts(const std::vector<std::string>& names) = 0;
    virtual void SelectPort(int index) = 0;
    // Modal, owned by the application, one OK button; returns when it is dismissed.
    virtual void ShowMessageBox(const std::string& caption, const std::string& text,
                                BoxIcon icon) = 0;
    // What the system's dialog for opening a file shows.
    struct FileDialog {
        struct Filter {
            std::string name; // as shown, the pattern in parentheses at its end
            std::string pattern;
        };
        std::string title;
        std::vector<Filter> filters; // the first one chosen
        std::string folder;          // where it starts; empty: where the system likes
    };
    // The system's dialog for opening an existing file, modal, owned by the window: the file
    // chosen, or nothing when the user cancels. Throws when the dialog cannot be shown.
    virtual std::optional<std::string> ChooseFile(const FileDialog& dialog) = 0;
    // Handles what is pending and returns at once.
    virtual void ProcessMessages() = 0;
    // Handles messages, waiting for the next one if none is pending.
    virtual void WaitForMessages() = 0;
    virtual void SetTimer1(bool enabled) = 0; // Timer1Interval, calls Timer1Timer when it fires
    virtual void Beep() = 0;
    // As the close box does: the toolkit asks FormCloseQuery.
    virtual void CloseWindow() = 0;
    // The window has closed and no run is left on the stack: the program may end.
    virtual void EndProgram() = 0;
};
