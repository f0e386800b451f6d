// The main window in the page (main_window_web.cpp). page.js calls
// WebMainOpen when the page has loaded and WebMainCommand(id) for each
// button pressed.
#pragma once

#include "web/page_web.h"
