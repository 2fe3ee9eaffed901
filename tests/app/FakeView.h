#pragma once

#include "Main.h"
#include "MainView.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

// A view without a toolkit: records what the window shows and plays the user, whose actions run
// inside the message pump as they would between a toolkit's events.
class FakeView : public MainView {
public:
    struct Box {
        std::string caption, text;
        BoxIcon icon;
    };

    TMainForm* form = nullptr;
    std::function<void()> onPump; // the user's actions while messages are handled
    std::function<void()> onBox;  // while a box is up, before it is dismissed
    // The user in the file dialog: the file chosen, or nothing for Cancel.
    std::function<std::optional<std::string>()> onFileDialog;
    std::string caption;
    std::vector<std::string> statuses, ports;
    std::vector<int> progress;
    std::vector<Box> boxes;
    std::vector<FileDialog> fileDialogs;
    std::string toolTip;
    int selected = -1;
    int beeps = 0;
    int timerPeriods = 0;
    int closes = 0; // the window closed, by the close box or CloseWindow
    int programEnds = 0;
    bool timer1 = false;

    void SetCaption(const std::string& text) override { caption = text; }
    void SetStatusText(const std::string& text) override { statuses.push_back(text); }
    void SetStatusToolTip(const std::string& text) override { toolTip = text; }
    void SetProgress(int percent) override { progress.push_back(percent); }
    void SetPorts(const std::vector<std::string>& names) override { ports = names; }
    void SelectPort(int index) override { selected = index; }
    void ShowMessageBox(const std::string& boxCaption, const std::string& text,
                        BoxIcon icon) override {
        boxes.push_back({boxCaption, text, icon});
        if (onBox)
            onBox();
    }
    std::optional<std::string> ChooseFile(const FileDialog& dialog) override {
        fileDialogs.push_back(dialog);
        return onFileDialog ? onFileDialog() : std::nullopt;
    }
    void ProcessMessages() override {
        if (onPump)
            onPump();
    }
    // The timer's period passes at once.
    void WaitForMessages() override {
        ProcessMessages();
        if (timer1) {
            ++timerPeriods;
            form->Timer1Timer();
        }
    }
    void SetTimer1(bool enabled) override { timer1 = enabled; }
    void Beep() override { ++beeps; }
    // As a toolkit does on the close box.
    void CloseWindow() override {
        if (form->FormCloseQuery()) {
            ++closes;
            form->FormClose();
        }
    }
    void EndProgram() override { ++programEnds; }
};
