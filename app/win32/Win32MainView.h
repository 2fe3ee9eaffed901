// The window's view in the Win32 API, for Windows.
#pragma once

#include "ControlTable.h"
#include "Main.h"
#include "MainView.h"

#include "AsUrlLabel.h"
#include "Win32WindowFont.h"
#include <windows.h>

#include <memory>
#include <string>

// The window on Windows: the platform's own standard controls, built from the control table at
// the display's DPI, translating their messages into TMainForm's handlers. An owner window of
// zero size carries the application title, so that the taskbar button shows it while the
// window's caption says something else, as classic application frameworks do.
class Win32MainView : public MainView {
public:
    explicit Win32MainView(HINSTANCE instance, std::unique_ptr<SerialPort> port = nullptr);
    ~Win32MainView() override;
    Win32MainView(const Win32MainView&) = delete;
    Win32MainView& operator=(const Win32MainView&) = delete;

    TMainForm& Form() { return *form_; }
    void Show(int showCommand);
    // The message loop, until the program may end; the process's exit code.
    int Run();

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

private:
    static Win32MainView* ViewOf(HWND window, UINT message, LPARAM lParam,
                                 HWND Win32MainView::*handle);
    static LRESULT CALLBACK MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK ApplicationProc(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam);
    LRESULT HandleMain(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleApplication(UINT message, WPARAM wParam, LPARAM lParam);
    void OnCommand(int id, int code);
    void OnDropFiles(HDROP drop);
    void OnActivate(bool active);
    void OnMinimize();
    void OnClose();
    void CreateWindows();
    void CreateControls();
    HWND CreateControl(const ControlEntry& entry);
    void CreateLinkLabel(const ControlEntry& entry);
    void CreateStatusToolTip();
    void ChooseFonts();
    void LoadBackground();
    void PaintBackground(HDC dc);
    // Key preview, then the dialog manager's keys (Tab, Enter, Space), then the control.
    void Dispatch(MSG& message);
    bool PreviewKey(const MSG& message);
    // The focused control, given back when the window is active again.
    void RememberFocus();
    int Scale(int value) const;
    RECT Bounds(const ControlEntry& entry) const;

    HINSTANCE instance_;
    int dpi_ = 96;
    HWND application_ = nullptr;
    HWND window_ = nullptr;
    HWND ComboBox2 = nullptr;
    HWND Edit2 = nullptr;
    HWND ProgressBar1 = nullptr;
    HWND Button2 = nullptr;
    HWND Button3 = nullptr;
    std::unique_ptr<TAsUrlLabel> AsUrlLabel1;
    HWND statusToolTip_ = nullptr;
    HWND lastFocus_ = nullptr;
    WindowFonts fonts_;
    BitmapHandle background_;
    int backgroundWidth_ = 0;
    int backgroundHeight_ = 0;
    IconHandle bigIcon_;
    IconHandle smallIcon_;
    std::unique_ptr<TMainForm> form_;
    bool ended_ = false;
    int exitCode_ = 0;
};
