// The page's word on a USB serial adapter that holds the replies: no
// system setting tells the page the adapter's latency timer, so the probe's
// replies are timed (uploader/held_replies.h), and the uploader says what
// the hold costs once an image is loaded, on a line of the page's own.
#pragma once
#include "uploader/target_table.h"

// After a probe that found row's target, on the port it holds: times the
// replies (TimeProbeReplies) and keeps what they showed for row's uploader.
void WebTimeProbe(const TargetRow& row);

// row's uploader (its dialog's template dialog) with an image loaded, or
// none: the line says what the hold the probe showed costs this update,
// or goes.
void WebTellHeldReplies(int dialog, const TargetRow& row);
