// Reads the Windows window's state through its controls, from outside, as the Wine tests need
// it: no sleeping and guessing, the status line's text and the progress bar's position as
// the window holds them. Prints UTF-8; exit status 0 when what was asked for holds.
//
//   inspect window [SECS]           visible, client size and caption of the main window, once
//                                   it is visible (waiting up to SECS)
//   inspect status | progress       the status line's text, the progress bar's position
//   inspect ports                   the port list's items, the chosen one marked with *
//   inspect dropped                 whether the port list is open: "open" or "closed"
//   inspect wait-status TEXT SECS   until the status line reads TEXT
//   inspect wait-box SECS [CAPTION] until a message box or dialog (with that caption) is open:
//                                   its caption and text
//   inspect wait-tooltip SECS       until a tooltip of the window shows: its text
//   inspect wait-gone SECS          until the main window has closed (hidden or destroyed)
//   inspect control NAME            screen rectangle of Button2, Button3, ComboBox2, Edit2, link
//   inspect owner                   the main window's owner, which the taskbar shows: its state
//                                   and caption
//   inspect minimise SECS           WM_SYSCOMMAND SC_MINIMIZE to the main window, as its
//                                   minimise box does, then until it is hidden or iconic: its
//                                   state
//   inspect wait-restored SECS      until the main window is visible, not iconic, in the
//                                   foreground and holds the focus: its state
#include "WideText.h"

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

HWND MainWindow() {
    return FindWindowW(L"TMainForm", nullptr);
}

// WM_GETTEXT, not GetWindowText: for another process's window that returns the name it was
// created with, not what an edit control holds now.
std::string Text(HWND window) {
    DWORD_PTR length = 0;
    if (!window ||
        !SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length))
        return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                        SMTO_ABORTIFHUNG, 5000, &copied);
    text.resize(std::min<size_t>(static_cast<size_t>(copied), static_cast<size_t>(length)));
    return Narrow(text);
}

HWND Child(const wchar_t* windowClass) {
    const HWND main = MainWindow();
    return main ? FindWindowExW(main, nullptr, windowClass, nullptr) : nullptr;
}

void Print(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// Polls every 50 ms until `done` holds or `seconds` have passed.
template <typename Condition> bool Within(double seconds, Condition done) {
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000);
    for (;;) {
        if (done())
            return true;
        if (GetTickCount64() >= end)
            return false;
        Sleep(50);
    }
}

struct WindowSearch {
    const wchar_t* windowClass;
    std::string caption; // empty: any
    DWORD process;
    HWND found;
};

BOOL CALLBACK FindWindowOf(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<WindowSearch*>(data);
    wchar_t windowClass[64] = {};
    GetClassNameW(window, windowClass, 64);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if ((search->process == 0 || process == search->process) && IsWindowVisible(window) &&
        std::wstring(windowClass) == search->windowClass &&
        (search->caption.empty() || Text(window) == search->caption)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// A visible window of that class and caption of the main window's process; without a main
// window (--help, say), of any process.
HWND VisibleWindow(const wchar_t* windowClass, const std::string& caption = {}) {
    WindowSearch search{windowClass, caption, 0, nullptr};
    if (const HWND main = MainWindow())
        GetWindowThreadProcessId(main, &search.process);
    EnumWindows(FindWindowOf, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

int Usage() {
    Print("inspect: window | status | progress | ports | dropped | wait-status TEXT SECS | "
          "wait-box SECS [CAPTION] | wait-tooltip SECS | wait-gone SECS | control NAME | owner | "
          "minimise SECS | wait-restored SECS");
    return 64;
}

// "visible" or "hidden", "normal" or "iconic".
std::string Shown(HWND window) {
    return std::string(IsWindowVisible(window) ? "visible " : "hidden ") +
           (IsIconic(window) ? "iconic" : "normal");
}

// Whether the keyboard's input goes to `window` or one of its controls.
bool Focused(HWND window) {
    GUITHREADINFO thread{};
    thread.cbSize = sizeof thread;
    return GetForegroundWindow() == window &&
           GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &thread) &&
           (thread.hwndFocus == window || IsChild(window, thread.hwndFocus));
}

// The main window as the user finds it: "visible normal focused", "hidden normal unfocused"...
std::string State(HWND main) {
    return Shown(main) + (Focused(main) ? " focused" : " unfocused");
}

bool Restored(HWND main) {
    return IsWindowVisible(main) && !IsIconic(main) && Focused(main);
}

} // namespace

int wmain(int argc, wchar_t* argv[]) {
    if (argc < 2)
        return Usage();
    const std::wstring command = argv[1];
    if (command == L"window") {
        HWND main = nullptr;
        Within(argc > 2 ? _wtof(argv[2]) : 0, [&] {
            main = MainWindow();
            return main && IsWindowVisible(main);
        });
        if (!main) {
            Print("no window");
            return 1;
        }
        RECT client;
        GetClientRect(main, &client);
        Print(std::string(IsWindowVisible(main) ? "visible " : "hidden ") +
              std::to_string(client.right) + "x" + std::to_string(client.bottom) + " " +
              Text(main));
        return 0;
    }
    if (command == L"status") {
        Print(Text(Child(L"Edit")));
        return Child(L"Edit") ? 0 : 1;
    }
    if (command == L"progress") {
        const HWND bar = Child(PROGRESS_CLASSW);
        Print(std::to_string(SendMessageW(bar, PBM_GETPOS, 0, 0)));
        return bar ? 0 : 1;
    }
    if (command == L"ports") {
        const HWND list = Child(L"ComboBox");
        if (!list)
            return 1;
        const LRESULT chosen = SendMessageW(list, CB_GETCURSEL, 0, 0);
        const LRESULT count = SendMessageW(list, CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            wchar_t item[256] = {};
            if (SendMessageW(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0) < 255)
                SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(i),
                             reinterpret_cast<LPARAM>(item));
            Print((i == chosen ? "*" : " ") + Narrow(item));
        }
        return 0;
    }
    if (command == L"dropped") {
        const HWND list = Child(L"ComboBox");
        Print(SendMessageW(list, CB_GETDROPPEDSTATE, 0, 0) ? "open" : "closed");
        return list ? 0 : 1;
    }
    if (command == L"wait-status" && argc == 4) {
        const std::string wanted = Narrow(argv[2]);
        std::string last;
        const bool reached = Within(_wtof(argv[3]), [&] {
            last = Text(Child(L"Edit"));
            return last == wanted;
        });
        Print(last);
        return reached ? 0 : 1;
    }
    if (command == L"wait-box" && (argc == 3 || argc == 4)) {
        const std::string caption = argc == 4 ? Narrow(argv[3]) : std::string();
        HWND box = nullptr;
        if (!Within(_wtof(argv[2]),
                    [&] { return (box = VisibleWindow(L"#32770", caption)) != nullptr; })) {
            Print("no message box");
            return 1;
        }
        // The text is the box's static control with the most text.
        std::string text;
        for (HWND child = FindWindowExW(box, nullptr, L"Static", nullptr); child;
             child = FindWindowExW(box, child, L"Static", nullptr))
            if (Text(child).size() > text.size())
                text = Text(child);
        Print(Text(box));
        Print(text);
        return 0;
    }
    if (command == L"wait-tooltip" && argc == 3) {
        HWND tip = nullptr;
        // Shown, and holding its text: an empty tip is never shown.
        if (!Within(_wtof(argv[2]), [&] {
                return (tip = VisibleWindow(TOOLTIPS_CLASSW)) != nullptr && !Text(tip).empty();
            })) {
            Print("no tooltip");
            return 1;
        }
        Print(Text(tip));
        return 0;
    }
    if (command == L"wait-gone" && argc == 3) {
        const bool gone = Within(_wtof(argv[2]), [] {
            const HWND main = MainWindow();
            return !main || !IsWindowVisible(main);
        });
        Print(gone ? "gone" : "still open");
        return gone ? 0 : 1;
    }
    if (command == L"control" && argc == 3) {
        const std::wstring name = argv[2];
        const HWND main = MainWindow();
        HWND control = nullptr;
        if (name == L"Button2" || name == L"Button3") {
            control = FindWindowExW(main, nullptr, L"Button", nullptr);
            if (name == L"Button3")
                control = FindWindowExW(main, control, L"Button", nullptr);
        } else if (name == L"ComboBox2") {
            control = Child(L"ComboBox");
        } else if (name == L"Edit2") {
            control = Child(L"Edit");
        } else if (name == L"link") {
            control = Child(L"TAsUrlLabel");
        }
        if (!control)
            return 1;
        RECT box;
        GetWindowRect(control, &box);
        Print(std::to_string(box.left) + " " + std::to_string(box.top) + " " +
              std::to_string(box.right - box.left) + " " + std::to_string(box.bottom - box.top));
        return 0;
    }
    if (command == L"owner") {
        const HWND owner = GetWindow(MainWindow(), GW_OWNER);
        if (!owner) {
            Print("no owner");
            return 1;
        }
        Print(Shown(owner) + " " + Text(owner));
        return 0;
    }
    if (command == L"minimise" && argc == 3) {
        const HWND main = MainWindow();
        if (!main || !PostMessageW(main, WM_SYSCOMMAND, SC_MINIMIZE, 0)) {
            Print("no window");
            return 1;
        }
        const bool gone =
            Within(_wtof(argv[2]), [&] { return !IsWindowVisible(main) || IsIconic(main); });
        Print(State(main));
        return gone ? 0 : 1;
    }
    if (command == L"wait-restored" && argc == 3) {
        const HWND main = MainWindow();
        const bool restored = main && Within(_wtof(argv[2]), [&] { return Restored(main); });
        Print(main ? State(main) : "no window");
        return restored ? 0 : 1;
    }
    return Usage();
}
