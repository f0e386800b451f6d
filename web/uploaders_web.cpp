// The uploaders in the page: a view of the shared uploader flow over the
// page's dialogs, named by their Windows templates.
//
// A press's command that waits on the line (Update's re-probe or reopen of
// a lost port, Restart's reopen) suspends, and the page stays live
// meanwhile: page.js still hands on Exit and the timer's ticks, which the
// flow holds or drops as the Windows dialog's window would.
#include <emscripten.h>

#include <optional>
#include <string>

#include "core/platform.h"
#include "release/release.h"
#include "res/resource.h"
#include "uploader/uploader_flow.h"
#include "web/held_replies_web.h"
#include "web/page_web.h"
#include "web/uploaders_web.h"

namespace {

// Where page.js puts the release it fetched from beside the page, in the
// program's file system.
const char* const kPageReleaseFolder = "/release";

class PageUploaderView : public UploaderView {
public:
    void SetText(int control, const char* text) override { PageSetText(dialog, control, text); }
    void Enable(int control, int on) override { PageEnable(dialog, control, on); }
    void SetBarRange(int32_t upper) override { PageSetRange(dialog, upper); }
    void SetBarPosition(int32_t position) override { PageSetPosition(dialog, position); }
    int StartWorker(void (*worker)()) override { return PlatformStartThread(worker); }
    void StartTick() override { PageStartTimer(dialog); }
    void StopTick() override { PageStopTimer(dialog); }
    void ShowMessage(const char* text, const char* title) override { PageMessageBox(text, title); }
    void Advise(const char* portLost, const char* next) override { PageAdvise(dialog, portLost, next); }
    void End() override;
    // Never asked: the page's file input answers later, through WebUploaderLoad.
    int ChooseFile(int, char*, int) override { return 0; }
    void ReleaseNote(const char* text, int refused) override { PageReleaseNote(dialog, text, refused); }

    int dialog = 0;  // the uploader shown, 0 when none
    MainWindowView* mainWindow = nullptr;
};

PageUploaderView view;
std::optional<Uploader> uploader;  // the last one opened: shown while view.dialog is set

// The uploader shown, if dialog is its template; null otherwise.
Uploader* Shown(int dialog) { return view.dialog != 0 && dialog == view.dialog ? &*uploader : nullptr; }

void PageUploaderView::End() {
    PageStopTimer(dialog);
    PageCloseDialog(dialog);
    const TargetRow& row = uploader->Row();
    uploader->Release();
    dialog = 0;
    MainWindowUploaderGone(row, mainWindow);
}

}  // namespace

void WebUploaderOpen(const TargetRow& row, MainWindowView* mainWindow) {
    if (view.dialog != 0) return;
    // Never under a flow at work: an uploader ends only as its last step.
    uploader.emplace(row, &view);
    view.dialog = row.dialog;
    view.mainWindow = mainWindow;
    // The Windows template starts empty; the page's dialog still shows its last run.
    view.SetText(IDC_STATUS_LINE, "");
    view.SetText(IDC_FILE_PATH, "");
    view.SetText(IDC_ADDRESS, "");
    view.SetBarRange(100);  // the progress bar's own range until Update sets one
    view.SetBarPosition(0);
    PageReleaseNote(row.dialog, "", 0);
    PageOpenDialog(row.dialog);
    uploader->Open();
    // The release beside the page, if page.js found one: its image for this
    // device, loaded as a chosen file is, so that Update is all that is left.
    if (IsReleasePath(kPageReleaseFolder)) uploader->LoadPath(kPageReleaseFolder);
    WebTellHeldReplies(row.dialog, row);
}

extern "C" EMSCRIPTEN_KEEPALIVE const char* WebReleaseFiles() {
    static std::string names;
    names.clear();
    Release release;
    std::string error;
    if (!ReadRelease(kPageReleaseFolder, &release, &error)) return "";
    for (const ReleaseImage& image : release.images) names += image.file + "\n";
    return names.c_str();
}

extern "C" EMSCRIPTEN_KEEPALIVE void WebUploaderCommand(int dialog, int id) {
    if (Uploader* shown = Shown(dialog)) shown->Press(id);
}

extern "C" EMSCRIPTEN_KEEPALIVE void WebUploaderLoad(int dialog, const char* path) {
    if (Uploader* shown = Shown(dialog)) {
        shown->LoadPath(path);
        WebTellHeldReplies(dialog, shown->Row());
    }
}

extern "C" EMSCRIPTEN_KEEPALIVE void WebUploaderTick(int dialog) {
    if (Uploader* shown = Shown(dialog)) shown->Tick();
}
