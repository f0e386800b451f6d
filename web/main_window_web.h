// The main window in the page (main_window_web.cpp). page.js calls
// WebMainOpen when the page has loaded and WebMainCommand(id) for each
// button pressed; the uploaders call the rest.
#pragma once

#include "web/page_web.h"

// The uploader dialog that an Update button of the main window opens.
int MainUploaderOf(int updateButton);

// An uploader has gone: its Update button off, its completion text on the
// result line, the probe lines cleared, the probes on again.
void MainUploaderReturned(int dialog);
