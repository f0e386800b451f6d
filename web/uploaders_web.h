// The three uploader dialogs in the page (uploaders_web.cpp), by template:
// IDD_T62_UPLOADER, IDD_PSOC_UPLOADER, IDD_KEYER_UPLOADER. page.js calls the
// exported ones: WebUploaderCommand(dialog, id) for a button,
// WebUploaderLoad(dialog, path) once a chosen file is in the page's file
// system at path, WebUploaderTick(dialog) on each tick of the timer.
#pragma once

// Opens an uploader over the main window, as the Windows program's opening
// of its dialog does.
void WebUploaderOpen(int dialog);
