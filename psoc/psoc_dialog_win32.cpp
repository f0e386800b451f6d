#include "psoc/psoc_dialog.h"

// Placeholder until the uploader lands: opens and closes.
INT_PTR CALLBACK PsocUploaderDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == 4) {
                EndDialog(dialog, 0);
                return TRUE;
            }
            return FALSE;
        case WM_CLOSE:
            EndDialog(dialog, 0);
            return TRUE;
    }
    return FALSE;
}
