// morvik2-update on Windows: the command line, then the Win32 window.
#include "CommandLine.h"
#include "UserFolder.h"
#include "WideText.h"
#include "Win32MainView.h"

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

namespace {

// The command line in UTF-8, whatever the ANSI code page: file names keep their umlauts.
std::vector<std::string> Arguments() {
    std::vector<std::string> arguments;
    int count = 0;
    if (LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 1; i < count; ++i)
            arguments.push_back(Narrow(wide[i]));
        LocalFree(wide);
    }
    return arguments;
}

// A window program has no console: what --help and the like say comes in a message box.
void Say(const std::string& text, UINT icon) {
    MessageBoxW(nullptr, Widen(text).c_str(), Widen(WindowCaption).c_str(), MB_OK | icon);
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    const WindowCommandLine line = ParseWindowCommandLine(Arguments());
    switch (line.action) {
    case WindowCommandLine::Action::Help:
        Say(WindowUsage(), MB_ICONINFORMATION);
        return 0;
    case WindowCommandLine::Action::Version:
        Say(WindowVersion(), MB_ICONINFORMATION);
        return 0;
    case WindowCommandLine::Action::UsageError:
        Say(line.error + "\n\n" + WindowUsage(), MB_ICONERROR);
        return WindowUsageExitStatus;
    case WindowCommandLine::Action::Open:
        break;
    }
    // Before the window reads MV2.ini; on failure the working directory serves, as without it.
    const std::optional<std::string> folderProblem =
        line.userFolder ? EnterUserFolder() : std::nullopt;

    INITCOMMONCONTROLSEX controls{sizeof controls,
                                  ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_TAB_CLASSES};
    InitCommonControlsEx(&controls);
    // The shell and the imaging component expect a single-threaded apartment.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int exitCode = 0;
    {
        Win32MainView window(instance);
        if (!line.file.empty())
            window.Form().ChooseFirmwareFile(line.file);
        window.Show(showCommand);
        if (folderProblem)
            window.ShowMessageBox(WindowCaption, *folderProblem, MainView::BoxIcon::Error);
        exitCode = window.Run();
    }
    if (SUCCEEDED(com))
        CoUninitialize();
    return exitCode;
}
