// The uploader dialogs in the page (uploaders_web.cpp): each shows its
// target's Uploader. page.js calls the exported ones:
// WebUploaderCommand(dialog, id) for a button, WebUploaderLoad(dialog, path)
// once a chosen file is in the page's file system at path,
// WebUploaderTick(dialog) on each tick of the timer, and WebReleaseFiles()
// for the names of the images to fetch once it has put the release.json
// found beside the page into the program's file system at /release (one a
// line; none when the release cannot be read: each uploader then says why).
#pragma once
#include "uploader/main_window_flow.h"
#include "uploader/target_table.h"

// Opens row's uploader over the main window, as the Windows program's
// opening of its dialog does; once it has gone, mainWindow shows that.
void WebUploaderOpen(const TargetRow& row, MainWindowView* mainWindow);
