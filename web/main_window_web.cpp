// The main window in the page: a view of the shared main window flow, with
// the browser's port chooser in place of the port dialog. page.js calls
// WebMainOpen once the page has loaded and WebMainCommand(id) for each
// button pressed.
#include <emscripten.h>

#include <cstdio>

#include "core/app_state.h"
#include "res/resource.h"
#include "serial/port_web.h"
#include "uploader/main_window_flow.h"
#include "web/held_replies_web.h"
#include "web/page_web.h"
#include "web/uploaders_web.h"

namespace {

void SetLine(int id, const char* text) { PageSetText(IDD_MAIN, id, text); }

// The port label names the port chosen in the browser, which has no COM
// number: a USB adapter by its vendor and product ids.
void ShowPortLabel() {
    int32_t id = WebPortUsbId();
    if (id == kWebPortNone) {
        SetLine(IDC_PORT_LABEL, "");
    } else if (id == kWebPortNotUsb) {
        SetLine(IDC_PORT_LABEL, "serial port");
    } else {
        std::snprintf(AppState.statusText, sizeof AppState.statusText, "USB %04x:%04x", static_cast<unsigned>(id) >> 16,
                      static_cast<unsigned>(id) & 0xFFFF);
        SetLine(IDC_PORT_LABEL, AppState.statusText);
    }
}

class PageMainWindow : public MainWindowView {
public:
    void SetText(int control, const char* text) override { SetLine(control, text); }
    void Enable(int control, int on) override { PageEnable(IDD_MAIN, control, on); }
    void Advise(const char* portLost, const char* next) override { PageAdvise(IDD_MAIN, portLost, next); }
    // A port, if none was chosen yet: the press is what lets the page ask.
    void BeforeProbe() override {
        PageChoosePort(0);
        ShowPortLabel();
    }
    // What the probe's replies tell of the adapter, for the uploader.
    void AfterProbe(const TargetRow& row) override { WebTimeProbe(row); }
    // Set Com: the browser's chooser, for this port or another one. The
    // synchronous channel's close before it takes a moment, well within
    // the seconds for which the press allows the page to ask.
    int ChoosePort() override {
        int chosen = PageChoosePort(1);
        ShowPortLabel();
        return chosen == kPageAnotherPort;
    }
};

PageMainWindow mainWindow;

}  // namespace

extern "C" EMSCRIPTEN_KEEPALIVE void WebMainOpen() {
    AppState.comPort = 4;
    ShowPortLabel();
    MainWindowOpen(&mainWindow);
}

// A port this page was given before, found once the page has loaded.
extern "C" EMSCRIPTEN_KEEPALIVE void WebMainShowPort() { ShowPortLabel(); }

extern "C" EMSCRIPTEN_KEEPALIVE void WebMainCommand(int id) {
    const TargetRow* row = TargetOfButton(id);
    if (row != nullptr && id == row->openButton) {
        MainWindowProbe(*row, &mainWindow);
    } else if (row != nullptr) {
        WebUploaderOpen(*row, &mainWindow);
    } else if (id == IDC_SET_COM) {
        MainWindowSetCom(&mainWindow);
    } else if (id == IDC_EXIT) {
        TargetsClosePort();
        PageEnd();
    }
    // Cancel (4101) does nothing.
}
