// The uploader dialogs (templates 1002-1004): one dialog procedure for every
// target, a thin view over the shared uploader flow. DialogBoxParam passes
// the target's row as the dialog's parameter.
#pragma once
#include <windows.h>

INT_PTR CALLBACK UploaderDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
