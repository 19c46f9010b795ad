// kovirw.exe: flashes firmware into up to eight mobile terminals at once, from one window.
#include <windows.h>
// The Win32 headers below need windows.h first.
#include <commctrl.h>

#include "console/win32/main_window.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // The common controls (the progress bars) in their current look; the program reads no
    // command line.
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    MainWindow window;
    window.RunModal(instance);
    return 0;
}
