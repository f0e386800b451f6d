#include "web/held_replies_web.h"

#include <emscripten.h>

#include <cctype>
#include <cstdio>
#include <string>

#include "uploader/held_replies.h"
#include "web/page_web.h"

namespace {

// What the last probe of each target showed (nothing until one is timed).
HeldReplies shown[kTargetCount];

// The browser's system, from its user agent: where the adapter's timer is set.
EM_JS(int, PageJsSystem, (), {
    var agent = navigator.userAgent;
    return /Windows/.test(agent) ? 0 : /Macintosh|Mac OS X/.test(agent) ? 2 : 1;
});

AdapterSystem BrowserSystem() {
    switch (PageJsSystem()) {
        case 0: return kAdapterWindows;
        case 2: return kAdapterMac;
        default: return kAdapterLinux;
    }
}

}  // namespace

void WebTimeProbe(const TargetRow& row) {
    shown[row.id] = HeldReplies();
    ProbeTiming timing = TimeProbeReplies(row);
    // The browser's console keeps the figures, as the command line's log does.
    std::printf("%s\n", ProbeTimingFigures(timing).c_str());
    if (timing.told) shown[row.id] = timing.held;
}

void WebTellHeldReplies(int dialog, const TargetRow& row) {
    std::string note =
        *row.loaded ? HeldRepliesNote(row, "the chosen port", shown[row.id], BrowserSystem(), "") : std::string();
    if (!note.empty()) note[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(note[0])));
    PageHeldRepliesNote(dialog, note.c_str());
}
