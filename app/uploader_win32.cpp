#include "app/uploader_win32.h"

#include <commctrl.h>

#include "app/choose_image_file.h"
#include "core/app_state.h"
#include "core/platform.h"
#include "res/resource.h"
#include "uploader/uploader_flow.h"

namespace {

// The dialogs' one timer: it ticks every kWorkerTickMs and follows the worker.
enum { kUploaderTimer = 2 };

class DialogView : public UploaderView {
public:
    explicit DialogView(HWND dialog) : dialog_(dialog) {}
    void SetText(int control, const char* text) override { SetDlgItemTextA(dialog_, control, text); }
    void Enable(int control, int on) override { EnableWindow(GetDlgItem(dialog_, control), on ? TRUE : FALSE); }
    void SetBarRange(int32_t upper) override {
        SendDlgItemMessageA(dialog_, IDC_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, static_cast<WORD>(upper)));
    }
    void SetBarPosition(int32_t position) override {
        SendDlgItemMessageA(dialog_, IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    }
    int StartWorker(void (*worker)()) override { return PlatformStartThread(worker); }
    void StartTick() override { SetTimer(dialog_, kUploaderTimer, kWorkerTickMs, nullptr); }
    void StopTick() override { KillTimer(dialog_, kUploaderTimer); }
    void ShowMessage(const char* text, const char* title) override {
        MessageBoxA(nullptr, text, title, MB_ICONWARNING | MB_OK);
    }
    void End() override { EndDialog(dialog_, 0); }
    int ChooseFile(int hexFile, char* path, int size) override {
        if (ChooseImageFile(path, size, hexFile ? kImageKindHex : kImageKindBin)) return 1;
        return ChosenImagePathTooLong() ? -1 : 0;
    }

private:
    HWND dialog_;
};

// One uploader dialog at a time: the main window runs them modally.
struct OpenUploader {
    DialogView view;
    Uploader uploader;
    OpenUploader(HWND dialog, const TargetRow& row) : view(dialog), uploader(row, &view) {}
};

OpenUploader* Of(HWND dialog) { return reinterpret_cast<OpenUploader*>(GetWindowLongPtrA(dialog, DWLP_USER)); }

}  // namespace

INT_PTR CALLBACK UploaderDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* open = new OpenUploader(dialog, *reinterpret_cast<const TargetRow*>(lParam));
        SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(open));
        open->uploader.Open();
        return TRUE;
    }
    OpenUploader* open = Of(dialog);
    if (open == nullptr) return FALSE;
    switch (message) {
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDC_LOAD:
                case IDC_UPLOADER_EXIT: open->uploader.Press(LOWORD(wParam)); return TRUE;
            }
            if (LOWORD(wParam) == open->uploader.Row().startButton ||
                (LOWORD(wParam) == open->uploader.Row().restartButton && LOWORD(wParam) != 0)) {
                open->uploader.Press(LOWORD(wParam));
                return TRUE;
            }
            return FALSE;
        case WM_TIMER:
            open->uploader.Tick();
            return FALSE;
        case WM_CLOSE:
            open->uploader.Close();
            return TRUE;
        case WM_DESTROY:
            // Reached only when no worker runs: closing waits for it.
            open->uploader.Release();
            SetWindowLongPtrA(dialog, DWLP_USER, 0);
            delete open;
            return FALSE;
    }
    return FALSE;
}
