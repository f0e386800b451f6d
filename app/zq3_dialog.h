// The ZQ3 uploader dialog (Windows only).
#pragma once
#include <windows.h>

INT_PTR CALLBACK KeyerUploaderDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
