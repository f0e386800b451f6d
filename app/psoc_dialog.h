// The PSoC uploader dialog (Windows only).
#pragma once
#include <windows.h>

INT_PTR CALLBACK PsocUploaderDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
