// The page's side of the windows: the main window and the three uploaders
// are parts of index.html, their controls named by the dialog template and
// control ids of the Windows program (res/resource.h). The front end shows
// everything through these; page.js carries them out.
#pragma once
#include <cstdint>

void PageSetText(int dialog, int control, const char* text);
void PageEnable(int dialog, int control, int on);

// The window's line of what to do next (the page's own): portLost, left
// out while the page's own line says that the adapter has gone, then next.
// Null for none; both null: the line goes.
void PageAdvise(int dialog, const char* portLost, const char* next);

// The uploaders' progress bar (IDC_PROGRESS): its range 0 to upper, and
// its position.
void PageSetRange(int dialog, int32_t upper);
void PageSetPosition(int dialog, int32_t position);

// Shows an uploader over the main window, which takes no input meanwhile,
// and takes it away again.
void PageOpenDialog(int dialog);
void PageCloseDialog(int dialog);

// The dialog's timer, every kWorkerTickMs: page.js calls WebUploaderTick(dialog) on each.
void PageStartTimer(int dialog);
void PageStopTimer(int dialog);

// The uploader's line of the page's own for a release (the Windows dialog
// has none): which image it took, or why it took none (refused 1); "" hides it.
void PageReleaseNote(int dialog, const char* text, int refused);

// The uploader's line of the page's own on the adapter's hold
// (web/held_replies_web.h); "" hides it.
void PageHeldRepliesNote(int dialog, const char* text);

// A message box with an OK button, over everything else.
void PageMessageBox(const char* text, const char* caption);

// The browser's port chooser, which only a button press may ask for: when
// no port was chosen yet, or always. kPageAnotherPort when the user chose
// a port other than the one held before (or the first), 1 when the port
// held stays (chosen again, or the chooser cancelled), 0 when there is none
// (cancelled, or a browser without Web Serial). Suspends the caller.
enum { kPageAnotherPort = 2 };
int PageChoosePort(int always);

// The program has ended (Exit): the page says so.
void PageEnd();
