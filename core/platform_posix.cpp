#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include "core/platform.h"
#include "core/platform_posix.h"

void PlatformSleep(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

int PlatformStartThread(void (*entry)()) {
    try {
        std::thread(entry).detach();
    } catch (...) {
        return 0;
    }
    return 1;
}

// Without windows, control texts are kept per (window, control) so that the
// native tests can read what a probe showed.
namespace {
struct ControlText {
    WindowHandle window;
    int id;
    char text[256];
};
ControlText controlTexts[32];
int controlTextCount;
std::mutex controlTextLock;
}  // namespace

void PlatformSetControlText(WindowHandle window, int controlId, const char* text) {
    std::lock_guard<std::mutex> hold(controlTextLock);
    for (int i = 0; i < controlTextCount; ++i) {
        if (controlTexts[i].window == window && controlTexts[i].id == controlId) {
            std::snprintf(controlTexts[i].text, sizeof controlTexts[i].text, "%s", text);
            return;
        }
    }
    if (controlTextCount == 32) return;
    ControlText& slot = controlTexts[controlTextCount++];
    slot.window = window;
    slot.id = controlId;
    std::snprintf(slot.text, sizeof slot.text, "%s", text);
}

const char* PosixControlText(WindowHandle window, int controlId) {
    std::lock_guard<std::mutex> hold(controlTextLock);
    for (int i = 0; i < controlTextCount; ++i)
        if (controlTexts[i].window == window && controlTexts[i].id == controlId)
            return controlTexts[i].text;
    return nullptr;
}

void PosixClearControlTexts() {
    std::lock_guard<std::mutex> hold(controlTextLock);
    controlTextCount = 0;
}
