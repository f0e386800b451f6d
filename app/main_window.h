// The main window: dialog 1001, with the three device probes, the port
// selection and the buttons that open the uploaders.
#pragma once
#include <windows.h>

INT_PTR CALLBACK MainWindowDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
