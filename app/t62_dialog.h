// The T62 uploader dialog (Windows only).
#pragma once
#include <windows.h>

INT_PTR CALLBACK T62UploaderDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
