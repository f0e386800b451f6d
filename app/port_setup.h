// The port selection dialog (1002): lists COM1 to COM36 where they exist and
// makes the chosen one AppState.comPort.
#pragma once
#include <windows.h>

INT_PTR CALLBACK PortSetupDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
