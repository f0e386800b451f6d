#include "web/page_web.h"

#include <emscripten.h>

#include "core/app_state.h"

EM_JS(void, PageJsSetText, (int dialog, int control, const char* text), {
    Module.page.setText(dialog, control, UTF8ToString(text));
});
EM_JS(void, PageJsEnable, (int dialog, int control, int on), { Module.page.enable(dialog, control, on != 0); });
EM_JS(void, PageJsAdvise, (int dialog, const char* portLost, const char* next), {
    Module.page.advise(dialog, UTF8ToString(portLost), UTF8ToString(next));
});
EM_JS(void, PageJsSetRange, (int dialog, int upper), { Module.page.setRange(dialog, upper); });
EM_JS(void, PageJsSetPosition, (int dialog, int position), { Module.page.setPosition(dialog, position); });
EM_JS(void, PageJsOpenDialog, (int dialog), { Module.page.openDialog(dialog); });
EM_JS(void, PageJsCloseDialog, (int dialog), { Module.page.closeDialog(dialog); });
EM_JS(void, PageJsStartTimer, (int dialog, int periodMs), { Module.page.startTimer(dialog, periodMs); });
EM_JS(void, PageJsStopTimer, (int dialog), { Module.page.stopTimer(dialog); });
EM_JS(void, PageJsReleaseNote, (int dialog, const char* text, int refused), {
    Module.page.releaseNote(dialog, UTF8ToString(text), refused != 0);
});
EM_JS(void, PageJsHeldRepliesNote, (int dialog, const char* text), {
    Module.page.heldRepliesNote(dialog, UTF8ToString(text));
});
EM_JS(void, PageJsMessageBox, (const char* text, const char* caption), {
    Module.page.messageBox(UTF8ToString(text), UTF8ToString(caption));
});
EM_ASYNC_JS(int, PageJsChoosePort, (int always), { return await Module.webSerial.choose(always != 0); });
EM_JS(void, PageJsEnd, (), { Module.page.end(); });

void PageSetText(int dialog, int control, const char* text) { PageJsSetText(dialog, control, text); }
void PageEnable(int dialog, int control, int on) { PageJsEnable(dialog, control, on); }
void PageAdvise(int dialog, const char* portLost, const char* next) {
    PageJsAdvise(dialog, portLost != nullptr ? portLost : "", next != nullptr ? next : "");
}
void PageSetRange(int dialog, int32_t upper) { PageJsSetRange(dialog, upper); }
void PageSetPosition(int dialog, int32_t position) { PageJsSetPosition(dialog, position); }
void PageOpenDialog(int dialog) { PageJsOpenDialog(dialog); }
void PageCloseDialog(int dialog) { PageJsCloseDialog(dialog); }
void PageStartTimer(int dialog) { PageJsStartTimer(dialog, kWorkerTickMs); }
void PageStopTimer(int dialog) { PageJsStopTimer(dialog); }
void PageReleaseNote(int dialog, const char* text, int refused) { PageJsReleaseNote(dialog, text, refused); }
void PageHeldRepliesNote(int dialog, const char* text) { PageJsHeldRepliesNote(dialog, text); }
void PageMessageBox(const char* text, const char* caption) { PageJsMessageBox(text, caption); }
int PageChoosePort(int always) { return PageJsChoosePort(always); }
void PageEnd() { PageJsEnd(); }
