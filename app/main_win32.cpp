// Program entry: registers the main window's class and runs the main dialog.
#include <windows.h>
#include <commctrl.h>

#include "app/main_window.h"
#include "core/app_state.h"
#include "res/resource.h"

namespace {

// The main window's class: the system dialog class with our instance, our
// icon and our name, so that template 1001 can name it.
int RegisterMainClass(HINSTANCE instance) {
    WNDCLASSEXA wc;
    ZeroMemory(&wc, sizeof wc);
    wc.cbSize = sizeof(WNDCLASSEXA);
    if (!GetClassInfoExA(nullptr, MAKEINTATOM(0x8002), &wc)) return 0;
    wc.cbSize = sizeof(WNDCLASSEXA);
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_RIDOREZ));
    wc.lpszClassName = "RIdorezClass";
    return RegisterClassExA(&wc) != 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    AppState.instance = instance;

    // The themed common controls of the manifest: the uploaders' progress
    // bars, and the buttons, statics and combo box of every dialog.
    INITCOMMONCONTROLSEX controls;
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES;
    InitCommonControlsEx(&controls);

    if (!RegisterMainClass(instance)) return 0;
    INT_PTR result = DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainWindowDialog, 0);

    // "Exit" ends the dialog's loop with a quit message: its code is the
    // program's exit code, whatever the dialog manager made of the loop's end.
    MSG quit;
    if (PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) return static_cast<int>(quit.wParam);
    return static_cast<int>(result);
}
