// The PSoC uploader dialog, template 1005: load and update.
#pragma once
#include <windows.h>

INT_PTR CALLBACK PsocUploaderDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
