// The ZQ3 uploader dialog, template 1006: load, re-probe, variant check, update.
#pragma once
#include <windows.h>

INT_PTR CALLBACK KeyerUploaderDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
