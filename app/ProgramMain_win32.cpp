#include "Win32MainView.h"

#include <commctrl.h>
#include <objbase.h>

// The command line is not used.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    // The shell and the imaging component expect a single-threaded apartment.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int exitCode = 0;
    {
        Win32MainView window(instance);
        window.Show(showCommand);
        exitCode = window.Run();
    }
    if (SUCCEEDED(com))
        CoUninitialize();
    return exitCode;
}
