// POSIX-only additions to the platform seam, for the native tests.
#pragma once
#include "core/platform.h"

// The text last set into controlId of window, or null if none was set.
const char* PosixControlText(WindowHandle window, int controlId);
void PosixClearControlTexts();
