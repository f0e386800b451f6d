// The T62 uploader dialog, template 1003: load, update, restart.
#pragma once
#include <windows.h>

INT_PTR CALLBACK T62UploaderDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
