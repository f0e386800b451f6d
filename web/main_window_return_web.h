// The main window's side of an uploader's coming and going
// (main_window_return_web.cpp): the main window and the uploaders both call it.
#pragma once

// The three probe buttons on or off.
void MainEnableProbeButtons(int on);

// The uploader dialog that an Update button of the main window opens.
int MainUploaderOf(int updateButton);

// An uploader has gone: its Update button off, its completion text on the
// result line, the probe lines cleared, the probes on again.
void MainUploaderReturned(int dialog);
