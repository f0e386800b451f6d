// The main window's side of an uploader's coming and going: which uploader
// an Update button opens, and the main window's lines when it has gone.
// Apart from main_window_web.cpp, so that the uploaders can report back
// without including the main window that opens them.
#include "web/main_window_return_web.h"

#include "psoc/psoc_probe.h"
#include "res/resource.h"
#include "t62/t62_probe.h"
#include "web/page_web.h"
#include "zq3/keyer_probe.h"

namespace {

void SetLine(int id, const char* text) { PageSetText(IDD_MAIN, id, text); }
void Enable(int id, int on) { PageEnable(IDD_MAIN, id, on); }

}  // namespace

void MainEnableProbeButtons(int on) {
    Enable(IDC_OPEN_T62, on);
    Enable(IDC_OPEN_PSOC, on);
    Enable(IDC_OPEN_ZQ3, on);
}

int MainUploaderOf(int updateButton) {
    switch (updateButton) {
        case IDC_T62_UPDATE: return IDD_T62_UPLOADER;
        case IDC_PSOC_UPDATE: return IDD_PSOC_UPLOADER;
    }
    return IDD_KEYER_UPLOADER;
}

void MainUploaderReturned(int dialog) {
    int button = IDC_ZQ3_UPDATE;
    const char* completed = kKeyerUpdateCompletedText;
    if (dialog == IDD_T62_UPLOADER) {
        button = IDC_T62_UPDATE;
        completed = kT62UpdateCompletedText;
    } else if (dialog == IDD_PSOC_UPLOADER) {
        button = IDC_PSOC_UPDATE;
        completed = kPsocUpdateCompletedText;
    }
    Enable(button, 0);
    SetLine(IDC_RESULT_LINE, completed);
    SetLine(IDC_PORT_LINE, "");
    SetLine(IDC_HW_LINE, "");
    MainEnableProbeButtons(1);
}
