// The window's Win32 view: controls from the control table, messages to TMainForm.
#include "Win32MainView.h"

#include "BufferedPaint.h"
#include "ControlTable.h"
#include "JpegImage.h"
#include "ScopeExit.h"
#include "WideText.h"
#include "Win32Resources.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shobjidl.h>

#include <algorithm>
#include <exception>
#include <stdexcept>
#include <utility>
#include <vector>

namespace {

const wchar_t* const MainClass = L"TMainForm";
const wchar_t* const ApplicationClass = L"TApplication";
constexpr UINT_PTR Timer1Id = 1;
// Posted when the taskbar button activates the owner window: the main window takes over.
constexpr UINT ActivateMainWindow = WM_APP + 1;

enum ControlId : int {
    IdComboBox2 = 100,
    IdEdit2,
    IdProgressBar1,
    IdButton2,
    IdButton3,
    IdAsUrlLabel1,
};

// Room for the drop-down list below the closed box: every port at once up to this many.
constexpr int VisibleListItems = 16;

int ControlIdOf(const ControlEntry& entry) {
    const std::string name = entry.name;
    if (name == "ComboBox2")
        return IdComboBox2;
    if (name == "Edit2")
        return IdEdit2;
    if (name == "ProgressBar1")
        return IdProgressBar1;
    if (name == "Button2")
        return IdButton2;
    if (name == "Button3")
        return IdButton3;
    return IdAsUrlLabel1;
}

} // namespace

Win32MainView::Win32MainView(HINSTANCE instance, std::unique_ptr<SerialPort> port)
    : instance_(instance) {
    const HDC screen = GetDC(nullptr);
    dpi_ = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    if (dpi_ <= 0)
        dpi_ = 96;
    ChooseFonts();
    LoadBackground();
    CreateWindows();
    form_ = std::make_unique<TMainForm>(*this, std::move(port));
    form_->FormCreate();
}

Win32MainView::~Win32MainView() {
    form_.reset();
    AsUrlLabel1.reset();
    if (window_)
        DestroyWindow(window_);
    if (application_)
        DestroyWindow(application_);
}

int Win32MainView::Scale(int value) const {
    return MulDiv(value, dpi_, 96);
}

RECT Win32MainView::Bounds(const ControlEntry& entry) const {
    return {Scale(entry.left), Scale(entry.top), Scale(entry.left + entry.width),
            Scale(entry.top + entry.height)};
}

// Labels size themselves to their text, as the table's widths did for "MS Sans Serif".
void Win32MainView::ChooseFonts() {
    std::vector<FixedText> labels;
    for (const ControlEntry& entry : Controls())
        if (entry.kind == ControlKind::Label)
            labels.push_back({entry.caption, Scale(LabelRoom(entry)), entry.bold});
    fonts_ = ChooseWindowFonts(Scale(FontPixelHeight), labels);
}

void Win32MainView::LoadBackground() {
    const HRSRC resource = FindResourceW(instance_, MAKEINTRESOURCEW(BackgroundResource),
                                         MAKEINTRESOURCEW(10)); // RT_RCDATA
    const HGLOBAL loaded = resource ? LoadResource(instance_, resource) : nullptr;
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data)
        return;
    const DecodedImage image =
        DecodeJpeg(static_cast<const unsigned char*>(data), SizeofResource(instance_, resource));
    if (image.IsNull())
        return;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = image.width;
    info.bmiHeader.biHeight = -image.height; // rows from the top
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    background_.reset(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!background_)
        return;
    std::copy(image.pixels.begin(), image.pixels.end(), static_cast<std::uint32_t*>(bits));
    backgroundWidth_ = image.width;
    backgroundHeight_ = image.height;
}

void Win32MainView::CreateWindows() {
    bigIcon_.reset(static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(IconResource),
                                                 IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                                                 GetSystemMetrics(SM_CYICON), 0)));
    smallIcon_.reset(static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(IconResource),
                                                   IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                   GetSystemMetrics(SM_CYSMICON), 0)));

    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.hInstance = instance_;
    windowClass.hIcon = bigIcon_.get();
    windowClass.hIconSm = smallIcon_.get();
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
    windowClass.lpfnWndProc = ApplicationProc;
    windowClass.lpszClassName = ApplicationClass;
    RegisterClassExW(&windowClass);
    windowClass.lpfnWndProc = MainProc;
    windowClass.lpszClassName = MainClass;
    windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNHIGHLIGHT);
    RegisterClassExW(&windowClass);

    // Client area from the table, scaled, then the fixed frame around it; centred on the
    // screen's work area.
    constexpr DWORD style =
        WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    constexpr DWORD exStyle = WS_EX_CONTROLPARENT;
    RECT frame{0, 0, Scale(ClientWidth), Scale(ClientHeight)};
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    const int left = work.left + std::max(0L, (work.right - work.left - width) / 2);
    const int top = work.top + std::max(0L, (work.bottom - work.top - height) / 2);

    application_ = CreateWindowExW(
        0, ApplicationClass, Widen(ApplicationTitle).c_str(),
        WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPSIBLINGS, left + width / 2,
        top + height / 2, 0, 0, nullptr, nullptr, instance_, this);
    window_ = CreateWindowExW(exStyle, MainClass, Widen(WindowCaption).c_str(), style, left, top,
                              width, height, application_, nullptr, instance_, this);
    CreateControls();
    DragAcceptFiles(window_, TRUE);
    // Focus rectangles and mnemonics always shown, not only after the first key.
    SendMessageW(window_, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS | UISF_HIDEACCEL),
                 0);
}

// The windowed controls in tab order: the dialog manager moves through them in creation order.
void Win32MainView::CreateControls() {
    std::vector<const ControlEntry*> ordered;
    for (const ControlEntry& entry : Controls())
        if (entry.tabOrder >= 0)
            ordered.push_back(&entry);
    std::sort(ordered.begin(), ordered.end(), [](const ControlEntry* a, const ControlEntry* b) {
        return a->tabOrder < b->tabOrder;
    });
    for (const ControlEntry* entry : ordered)
        SendMessageW(CreateControl(*entry), WM_SETFONT,
                     reinterpret_cast<WPARAM>(fonts_.regular.get()), FALSE);
    CreateLinkLabel(Control("AsUrlLabel1"));
    CreateStatusToolTip();
}

// A disabled control gets no mouse messages: the status line's tooltip belongs to the main
// window, over the status line's box.
void Win32MainView::CreateStatusToolTip() {
    statusToolTip_ =
        CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                        WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr, instance_, nullptr);
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_SUBCLASS;
    tool.hwnd = window_;
    tool.uId = IdEdit2;
    tool.rect = Bounds(Control("Edit2"));
    tool.lpszText = const_cast<wchar_t*>(L""); // an empty tip is not shown
    SendMessageW(statusToolTip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

HWND Win32MainView::CreateControl(const ControlEntry& entry) {
    const RECT bounds = Bounds(entry);
    int width = bounds.right - bounds.left;
    int height = bounds.bottom - bounds.top;
    const wchar_t* windowClass = L"BUTTON";
    DWORD style = WS_CHILD | WS_VISIBLE;
    DWORD exStyle = 0;
    switch (entry.kind) {
    case ControlKind::ComboBox:
        windowClass = L"COMBOBOX";
        style |= CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;
        // A drop-down list's window height includes the list; the closed box takes its height
        // from the font.
        height += Scale(FontPixelHeight + 4) * VisibleListItems;
        break;
    case ControlKind::StatusEdit:
        windowClass = L"EDIT";
        style |= ES_READONLY | ES_AUTOHSCROLL | WS_DISABLED;
        exStyle = WS_EX_CLIENTEDGE;
        break;
    case ControlKind::ProgressBar:
        windowClass = PROGRESS_CLASSW;
        style |= PBS_SMOOTH;
        break;
    case ControlKind::Button:
        style |= BS_PUSHBUTTON | WS_TABSTOP;
        break;
    default:
        break;
    }
    const int id = ControlIdOf(entry);
    const HWND control = CreateWindowExW(
        exStyle, windowClass, Widen(entry.caption).c_str(), style, bounds.left, bounds.top, width,
        height, window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
    switch (id) {
    case IdComboBox2:
        ComboBox2 = control;
        break;
    case IdEdit2:
        Edit2 = control;
        break;
    case IdProgressBar1:
        ProgressBar1 = control;
        SendMessageW(control, PBM_SETRANGE32, 0, 100);
        SendMessageW(control, PBM_SETPOS, 0, 0);
        break;
    case IdButton2:
        Button2 = control;
        break;
    case IdButton3:
        Button3 = control;
        break;
    default:
        break;
    }
    return control;
}

void Win32MainView::CreateLinkLabel(const ControlEntry& entry) {
    AsUrlLabel1 = std::make_unique<TAsUrlLabel>(window_, IdAsUrlLabel1, Bounds(entry));
    TAsUrlLabel& link = *AsUrlLabel1;
    link.SetCaption(MakerUrlCaption());
    link.SetHoverCaption(MakerUrlCaption());
    link.SetUrl(MakerUrl());
    TLabelFont normal;
    normal.Name = fonts_.face;
    normal.Height = -Scale(LinkFontPixelHeight);
    normal.Underline = true;
    normal.Color = RGB(0, 0, 255);
    link.SetFont(normal);
    TLabelFont hover = normal;
    hover.ClearStyle();
    hover.Color = RGB(255, 0, 0);
    link.SetHoverFont(hover);
    link.SetHoverColor(GetSysColor(COLOR_BTNFACE));
    link.SetHoverAlignment(taLeftJustify);
    link.SetHoverLayout(tlTop);
    link.SetTransparent(true);
}

void Win32MainView::PaintBackground(HDC dc) {
    RECT client;
    GetClientRect(window_, &client);
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNHIGHLIGHT));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    for (const ControlEntry& entry : Controls()) {
        RECT box = Bounds(entry);
        switch (entry.kind) {
        case ControlKind::Picture:
            if (background_) {
                // Stretched proportionally, from the top left of its box.
                const int boxWidth = box.right - box.left;
                const int boxHeight = box.bottom - box.top;
                int width = boxWidth;
                int height = MulDiv(backgroundHeight_, boxWidth, backgroundWidth_);
                if (height > boxHeight) {
                    height = boxHeight;
                    width = MulDiv(backgroundWidth_, boxHeight, backgroundHeight_);
                }
                const HDC picture = CreateCompatibleDC(dc);
                const HGDIOBJ old = SelectObject(picture, background_.get());
                SetStretchBltMode(dc, HALFTONE);
                SetBrushOrgEx(dc, 0, 0, nullptr);
                StretchBlt(dc, box.left, box.top, width, height, picture, 0, 0, backgroundWidth_,
                           backgroundHeight_, SRCCOPY);
                SelectObject(picture, old);
                DeleteDC(picture);
            }
            break;
        case ControlKind::Label: {
            const HGDIOBJ old = SelectObject(dc, (entry.bold ? fonts_.bold : fonts_.regular).get());
            const std::wstring text = Widen(entry.caption);
            DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &box,
                      DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP);
            SelectObject(dc, old);
            break;
        }
        case ControlKind::TopBevel:
            DrawEdge(dc, &box, EDGE_ETCHED, BF_TOP);
            break;
        case ControlKind::BottomBevel:
            DrawEdge(dc, &box, EDGE_ETCHED, BF_BOTTOM);
            break;
        default:
            break;
        }
    }
}

void Win32MainView::Show(int showCommand) {
    ShowWindow(application_, SW_SHOWNOACTIVATE);
    ShowWindow(window_, showCommand == SW_SHOWMINIMIZED || showCommand == SW_MINIMIZE
                            ? SW_SHOWNORMAL
                            : showCommand);
    UpdateWindow(window_);
    SetForegroundWindow(window_);
    SetFocus(ComboBox2);
}

int Win32MainView::Run() {
    MSG message;
    while (!ended_) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0 || got == -1)
            break;
        Dispatch(message);
    }
    return exitCode_;
}

bool Win32MainView::PreviewKey(const MSG& message) {
    // F10 arrives as a system key: it would otherwise open the (absent) menu bar.
    if (message.message != WM_KEYDOWN && message.message != WM_SYSKEYDOWN)
        return false;
    if (message.hwnd != window_ && !IsChild(window_, message.hwnd))
        return false;
    return form_ && form_->FormKeyDown(static_cast<int>(message.wParam));
}

void Win32MainView::Dispatch(MSG& message) {
    if (PreviewKey(message))
        return;
    if (IsDialogMessageW(window_, &message))
        return;
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

void Win32MainView::ProcessMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // Left for the loop that owns the program's end.
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        Dispatch(message);
    }
}

void Win32MainView::WaitForMessages() {
    MsgWaitForMultipleObjectsEx(0, nullptr, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    ProcessMessages();
}

void Win32MainView::SetCaption(const std::string& text) {
    SetWindowTextW(window_, Widen(text).c_str());
}

void Win32MainView::SetStatusText(const std::string& text) {
    SetWindowTextW(Edit2, Widen(text).c_str());
}

void Win32MainView::SetStatusToolTip(const std::string& text) {
    std::wstring tip = Widen(text);
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = window_;
    tool.uId = IdEdit2;
    tool.lpszText = tip.data();
    SendMessageW(statusToolTip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

void Win32MainView::SetProgress(int percent) {
    SendMessageW(ProgressBar1, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
}

void Win32MainView::SetPorts(const std::vector<std::string>& names) {
    SendMessageW(ComboBox2, CB_RESETCONTENT, 0, 0);
    // The open list is as wide as its longest entry; the closed box keeps its size.
    const HDC dc = GetDC(ComboBox2);
    const HGDIOBJ old = SelectObject(dc, fonts_.regular.get());
    int widest = 0;
    for (const std::string& name : names) {
        const std::wstring text = Widen(name);
        SendMessageW(ComboBox2, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
        SIZE size{};
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
        widest = std::max(widest, static_cast<int>(size.cx));
    }
    SelectObject(dc, old);
    ReleaseDC(ComboBox2, dc);
    SendMessageW(ComboBox2, CB_SETDROPPEDWIDTH,
                 static_cast<WPARAM>(widest + GetSystemMetrics(SM_CXVSCROLL) + Scale(8)), 0);
}

void Win32MainView::SelectPort(int index) {
    SendMessageW(ComboBox2, CB_SETCURSEL, static_cast<WPARAM>(index), 0); // sends no CBN_*
}

void Win32MainView::ShowMessageBox(const std::string& caption, const std::string& text,
                                   BoxIcon icon) {
    const HWND owner = IsWindowVisible(window_) ? window_ : nullptr;
    MessageBoxW(owner, Widen(text).c_str(), Widen(caption).c_str(),
                MB_OK | (icon == BoxIcon::Error ? MB_ICONERROR : 0) |
                    (owner ? MB_APPLMODAL : MB_TASKMODAL));
}

// The common item dialog: unlike GetOpenFileName it starts in the folder it is given, not in
// one Windows remembers.
std::optional<std::string> Win32MainView::ChooseFile(const FileDialog& request) {
    IFileOpenDialog* dialog = nullptr;
    HRESULT result = CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_PPV_ARGS(&dialog));
    if (FAILED(result))
        throw std::runtime_error("Die Dateiauswahl kann nicht geöffnet werden: " +
                                 SystemErrorText(static_cast<unsigned long>(result)));
    const ScopeExit release([dialog] { dialog->Release(); });
    std::vector<std::pair<std::wstring, std::wstring>> texts;
    for (const FileDialog::Filter& filter : request.filters)
        texts.emplace_back(Widen(filter.name), Widen(filter.pattern));
    std::vector<COMDLG_FILTERSPEC> filters;
    for (const auto& [name, pattern] : texts)
        filters.push_back({name.c_str(), pattern.c_str()});
    dialog->SetFileTypes(static_cast<UINT>(filters.size()), filters.data());
    dialog->SetFileTypeIndex(1);
    dialog->SetTitle(Widen(request.title).c_str());
    FILEOPENDIALOGOPTIONS options = 0;
    dialog->GetOptions(&options);
    // The working directory holds MV2.ini: the dialog must not change it.
    dialog->SetOptions(options | FOS_FORCEFILESYSTEM | FOS_FILEMUSTEXIST | FOS_PATHMUSTEXIST |
                       FOS_NOCHANGEDIR);
    IShellItem* folder = nullptr;
    if (!request.folder.empty() &&
        SUCCEEDED(SHCreateItemFromParsingName(Widen(request.folder).c_str(), nullptr,
                                              IID_PPV_ARGS(&folder)))) {
        dialog->SetFolder(folder);
        folder->Release();
    }
    result = dialog->Show(window_);
    if (result == HRESULT_FROM_WIN32(ERROR_CANCELLED))
        return std::nullopt;
    IShellItem* item = nullptr;
    wchar_t* path = nullptr;
    if (SUCCEEDED(result))
        result = dialog->GetResult(&item);
    if (SUCCEEDED(result)) {
        result = item->GetDisplayName(SIGDN_FILESYSPATH, &path);
        item->Release();
    }
    if (FAILED(result))
        throw std::runtime_error("Die Dateiauswahl ist fehlgeschlagen: " +
                                 SystemErrorText(static_cast<unsigned long>(result)));
    const ScopeExit freePath([path] { CoTaskMemFree(path); });
    return Narrow(path);
}

void Win32MainView::SetTimer1(bool enabled) {
    if (enabled)
        SetTimer(window_, Timer1Id, Timer1Interval, nullptr);
    else
        KillTimer(window_, Timer1Id);
}

void Win32MainView::Beep() {
    MessageBeep(0);
}

void Win32MainView::CloseWindow() {
    SendMessageW(ComboBox2, CB_SHOWDROPDOWN, FALSE, 0);
    SendMessageW(window_, WM_CLOSE, 0, 0);
}

void Win32MainView::EndProgram() {
    ended_ = true;
    PostQuitMessage(exitCode_);
}

// The view a window of ours belongs to, from WM_NCCREATE on; its handle is kept there as
// `handle`, since the handlers answer with DefWindowProcW on it before CreateWindowExW has
// returned it: a null handle there fails WM_NCCREATE, and the window is never made.
Win32MainView* Win32MainView::ViewOf(HWND window, UINT message, LPARAM lParam,
                                     HWND Win32MainView::*handle) {
    if (message == WM_NCCREATE) {
        auto* view = static_cast<Win32MainView*>(
            reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(view));
        view->*handle = window;
    }
    return reinterpret_cast<Win32MainView*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

LRESULT CALLBACK Win32MainView::MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* view = ViewOf(window, message, lParam, &Win32MainView::window_);
    if (!view)
        return DefWindowProcW(window, message, wParam, lParam);
    // No exception may cross the system's frames: it is shown as the runtime shows its errors.
    try {
        return view->HandleMain(message, wParam, lParam);
    } catch (const std::exception& error) {
        if (view->form_)
            view->form_->ShowException(error);
        return 0;
    }
}

LRESULT CALLBACK Win32MainView::ApplicationProc(HWND window, UINT message, WPARAM wParam,
                                                LPARAM lParam) {
    auto* view = ViewOf(window, message, lParam, &Win32MainView::application_);
    return view ? view->HandleApplication(message, wParam, lParam)
                : DefWindowProcW(window, message, wParam, lParam);
}

// The owner window only stands in the taskbar: minimising and restoring there, and closing
// from its menu, act on the main window.
LRESULT Win32MainView::HandleApplication(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SYSCOMMAND:
        if ((wParam & 0xfff0) == SC_CLOSE) {
            SendMessageW(window_, WM_CLOSE, 0, 0);
            return 0;
        }
        if ((wParam & 0xfff0) == SC_RESTORE && IsIconic(application_)) {
            DefWindowProcW(application_, message, wParam, lParam);
            ShowWindow(window_, SW_SHOW);
            PostMessageW(application_, ActivateMainWindow, 0, 0);
            return 0;
        }
        break;
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE && !IsIconic(application_))
            PostMessageW(application_, ActivateMainWindow, 0, 0);
        break;
    case ActivateMainWindow:
        if (IsWindowVisible(window_) && IsWindowEnabled(window_))
            SetForegroundWindow(window_);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(application_, message, wParam, lParam);
}

void Win32MainView::RememberFocus() {
    const HWND focus = GetFocus();
    if (focus && IsChild(window_, focus))
        lastFocus_ = focus;
}

LRESULT Win32MainView::HandleMain(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ERASEBKGND:
        return 1; // painted whole in WM_PAINT
    case WM_PAINT:
        PaintBuffered(window_, [this](HDC dc) { PaintBackground(dc); });
        return 0;
    case WM_PRINTCLIENT:
        // What lies behind a transparent child: the link label, the buttons' rounded corners.
        PaintBackground(reinterpret_cast<HDC>(wParam));
        return 0;
    case WM_COMMAND:
        if (!form_)
            break;
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_DROPFILES:
        OnDropFiles(reinterpret_cast<HDROP>(wParam));
        return 0;
    case WM_TIMER:
        if (wParam == Timer1Id && form_) {
            form_->Timer1Timer();
            return 0;
        }
        break;
    case WM_ACTIVATE:
        OnActivate(LOWORD(wParam) != WA_INACTIVE);
        return 0;
    case WM_SYSCOMMAND:
        if ((wParam & 0xfff0) == SC_MINIMIZE) {
            OnMinimize();
            return 0;
        }
        break;
    case WM_CLOSE:
        OnClose();
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

void Win32MainView::OnCommand(int id, int code) {
    if (id == IdButton2 && code == BN_CLICKED)
        form_->Button2Click();
    else if (id == IdButton3 && code == BN_CLICKED)
        form_->Button3Click();
    else if (id == IdComboBox2 && code == CBN_DROPDOWN)
        form_->ComboBox2DropDown();
    else if (id == IdComboBox2 && (code == CBN_SELCHANGE || code == CBN_SELENDOK))
        // The same port chosen again counts as a change too: only SELENDOK tells of it.
        form_->ComboBox2Change(static_cast<int>(SendMessageW(ComboBox2, CB_GETCURSEL, 0, 0)));
    else if (id == IDOK) {
        // Enter from the dialog manager: the focused button is the default one.
        const HWND focus = GetFocus();
        if (focus == Button2 || focus == Button3)
            SendMessageW(focus, BM_CLICK, 0, 0);
    }
}

void Win32MainView::OnDropFiles(HDROP drop) {
    // One file at a time; the first of several would be a guess.
    if (form_ && DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) == 1) {
        std::wstring file(DragQueryFileW(drop, 0, nullptr, 0) + 1, L'\0');
        file.resize(DragQueryFileW(drop, 0, file.data(), static_cast<UINT>(file.size())));
        form_->FileDropped(Narrow(file));
    }
    DragFinish(drop);
}

// A plain window forgets its focused control when it loses activation; a dialog does not.
void Win32MainView::OnActivate(bool active) {
    if (active)
        SetFocus(lastFocus_ && IsWindowEnabled(lastFocus_) ? lastFocus_ : ComboBox2);
    else
        RememberFocus();
}

void Win32MainView::OnMinimize() {
    RememberFocus();
    ShowWindow(window_, SW_HIDE);
    ShowWindow(application_, SW_MINIMIZE);
}

// Hidden, not destroyed: a run still on the stack keeps its timer and its controls.
void Win32MainView::OnClose() {
    if (form_ && form_->FormCloseQuery()) {
        ShowWindow(window_, SW_HIDE);
        ShowWindow(application_, SW_HIDE);
        form_->FormClose();
    }
}
