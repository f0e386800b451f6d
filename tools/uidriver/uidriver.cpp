// uidriver: drives a running dialog program from outside, for the
// end-to-end tests. It runs one script of commands, one per line, taken from
// its arguments (each argument one line) or, with no arguments, from its
// standard input. A word with spaces is written in double quotes.
//
// Commands (ids are control ids of the current window; times in ms):
//   window TITLE [TIMEOUT]        wait for a top-level window, make it current
//   gone TITLE [TIMEOUT]          wait until no window has that title
//   closed [TIMEOUT]              wait until the current window is gone
//   message TEXT [TIMEOUT]        wait for a message box (any top-level window
//                                 with a static showing TEXT), make it current
//   click ID [TIMEOUT]            as a user's click: the button must be enabled;
//                                 returns when the program has handled it
//   press ID                      the same, without waiting (a button that
//                                 opens a modal dialog)
//   command ID                    WM_COMMAND ID, handled before returning (what
//                                 Enter and Escape turn into: 1 and 2)
//   key enter|escape              the key, to the window with the focus
//   close                         the close box (WM_CLOSE), without waiting
//   set-text ID TEXT              replace a control's text (an edit field)
//   select ID INDEX               choose a combo box entry (-1: none)
//   text ID                       print a control's text
//   expect-text ID TEXT           fail unless the control shows TEXT
//   wait-text ID TEXT [TIMEOUT]   wait until it does
//   expect-enabled ID 0|1         fail unless the control is on (1) / off (0)
//   wait-enabled ID 0|1 [TIMEOUT]
//   progress ID                   print "POS LOW HIGH" of a progress bar
//   wait-progress ID POS [TIMEOUT] wait until the position is POS or more
//   list ID                       print a combo box's entries and selection
//   expect-list ID ITEMS SEL      ITEMS: entries joined by commas ("" none);
//                                 SEL: index of the selected entry or -1
//   expect-elapsed MIN MAX        time the last click took, in [MIN, MAX]
//   elapsed                       print the time the last click took
//   wait-any TIMEOUT COND...      wait until one of the conditions holds and
//                                 print its number (1 for the first):
//                                 enabled:ID:0|1, text:ID:TEXT,
//                                 not-text:ID:TEXT, message:TEXT
//                                 (a message box found becomes current)
//   open-file PATH [TIMEOUT]      in the system "Open" dialog: type PATH as
//                                 the file name and press its OK
//   open-cancel [TIMEOUT]         press the "Open" dialog's Cancel
//   settle                        let the current window's thread (if any) catch
//                                 up with what was posted and paint (before a
//                                 screenshot)
//   controls                      print the current window's controls: id,
//                                 class, enabled, text (to write a script)
//   console-close PROGRAM.exe [close|logoff|shutdown]
//                                 the program's console closed, as Windows
//                                 tells it (console_close.h); prints how it
//                                 ended
//   sleep MS
//   echo TEXT                     print TEXT (marks steps in the output)
// Waits default to 5000 ms. The first failing command prints
// "uidriver: line N: ..." and ends the run with exit code 1; a script that
// cannot be read ends it with 2.
//
// Scripts, titles and texts are UTF-8, whatever the code page of the
// driver or of the program it drives: texts cross to the program's windows
// in UTF-16.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "console_close.h"

namespace {

enum { kDefaultWaitMs = 5000, kPollMs = 40, kQueryMs = 250, kClickWaitMs = 15000 };

// System "Open" dialog controls.
enum { kOpenFileNameCombo = 0x47c, kOpenFileNameEdit = 0x480, kOpenFilterCombo = 0x470 };

HWND current = nullptr;
std::string currentTitle;
DWORD lastClickMs = 0;
int lineNumber = 0;
std::string failure;

int Fail(const std::string& why) {
    failure = why;
    return 0;
}

// ---- UTF-8 and UTF-16 ----

std::wstring Wide(const std::string& text) {
    int n = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &wide[0], n);
    wide.resize(static_cast<size_t>(n - 1));
    return wide;
}

std::string Utf8(const wchar_t* text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return std::string();
    std::string utf8(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &utf8[0], n, nullptr, nullptr);
    utf8.resize(static_cast<size_t>(n - 1));
    return utf8;
}

// ---- Script lines ----

std::vector<std::string> SplitWords(const std::string& line) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) i++;
        if (i >= line.size()) break;
        std::string word;
        if (line[i] == '"') {
            i++;
            while (i < line.size() && line[i] != '"') {
                if (line[i] == '\\' && i + 1 < line.size() && (line[i + 1] == '"' || line[i + 1] == '\\')) i++;
                word += line[i++];
            }
            i++;
        } else {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') word += line[i++];
        }
        words.push_back(word);
    }
    return words;
}

int ToInt(const std::string& word, int* value) {
    char* end = nullptr;
    long v = std::strtol(word.c_str(), &end, 0);
    if (word.empty() || *end != '\0') return 0;
    *value = static_cast<int>(v);
    return 1;
}

// ---- Windows of the program ----

HWND FindTopWindow(const std::string& title) { return FindWindowW(nullptr, Wide(title).c_str()); }

int NeedWindow() {
    if (current == nullptr || !IsWindow(current)) return Fail("no current window (use: window TITLE)");
    return 1;
}

int Control(int id, HWND* control) {
    if (!NeedWindow()) return 0;
    *control = GetDlgItem(current, id);
    if (*control == nullptr) return Fail("no control " + std::to_string(id) + " in \"" + currentTitle + "\"");
    return 1;
}

// A control's text through WM_GETTEXT, so that the program's own thread
// answers; 0 while that thread is busy past the query time.
int ReadText(HWND control, std::string* text) {
    wchar_t buffer[4096];
    const DWORD_PTR size = sizeof buffer / sizeof buffer[0];
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(control, WM_GETTEXT, size, reinterpret_cast<LPARAM>(buffer), SMTO_NORMAL, kQueryMs,
                             &copied))
        return 0;
    buffer[copied < size ? copied : size - 1] = L'\0';
    *text = Utf8(buffer);
    return 1;
}

// Replaces a control's text (UTF-8), handled by the program's thread.
int WriteText(HWND control, const std::string& text) {
    std::wstring wide = Wide(text);
    DWORD_PTR r = 0;
    return SendMessageTimeoutW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()), SMTO_NORMAL,
                               kClickWaitMs, &r) != 0;
}

int Query(HWND control, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    DWORD_PTR r = 0;
    if (!SendMessageTimeoutA(control, message, wParam, lParam, SMTO_NORMAL, kQueryMs, &r)) return 0;
    *result = static_cast<LRESULT>(r);
    return 1;
}

int ReadList(HWND combo, std::string* items, int* selection) {
    LRESULT count = 0, sel = 0;
    if (!Query(combo, CB_GETCOUNT, 0, 0, &count) || !Query(combo, CB_GETCURSEL, 0, 0, &sel)) return 0;
    items->clear();
    for (LRESULT i = 0; i < count; i++) {
        // Asked in UTF-16: the ANSI form does not come back converted
        // from another process.
        wchar_t wide[256] = {0};
        DWORD_PTR r = 0;
        if (!SendMessageTimeoutW(combo, CB_GETLBTEXTLEN, i, 0, SMTO_NORMAL, kQueryMs, &r) || r >= 256) return 0;
        if (!SendMessageTimeoutW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(wide), SMTO_NORMAL, kQueryMs, &r))
            return 0;
        if (i > 0) *items += ",";
        *items += Utf8(wide);
    }
    *selection = static_cast<int>(sel);
    return 1;
}

// Polls check until it holds or timeoutMs passes.
template <typename Check>
int WaitFor(int timeoutMs, Check check) {
    DWORD start = GetTickCount();
    for (;;) {
        if (check()) return 1;
        if (static_cast<int>(GetTickCount() - start) >= timeoutMs) return 0;
        Sleep(kPollMs);
    }
}

// Lets the program's thread take what was posted to it: two round trips
// through its message queue, then a short pause for the handler to finish.
void Settle() {
    DWORD_PTR r = 0;
    for (int i = 0; i < 2; i++) {
        SendMessageTimeoutA(current, WM_NULL, 0, 0, SMTO_NORMAL, kClickWaitMs, &r);
        Sleep(100);
    }
}

int EnabledButton(int id, HWND* control) {
    if (!Control(id, control)) return 0;
    if (!IsWindowEnabled(*control)) return Fail("control " + std::to_string(id) + " is disabled");
    if (!IsWindowVisible(*control)) return Fail("control " + std::to_string(id) + " is hidden");
    return 1;
}

// ---- Commands ----

int WaitArg(const std::vector<std::string>& w, size_t index, int* ms) {
    *ms = kDefaultWaitMs;
    if (w.size() > index && !ToInt(w[index], ms)) return Fail("bad time-out '" + w[index] + "'");
    return 1;
}

int CmdWindow(const std::vector<std::string>& w) {
    int ms;
    if (w.size() < 2) return Fail("usage: window TITLE [TIMEOUT]");
    if (!WaitArg(w, 2, &ms)) return 0;
    HWND found = nullptr;
    if (!WaitFor(ms, [&] { return (found = FindTopWindow(w[1])) != nullptr && IsWindowVisible(found); }))
        return Fail("no window \"" + w[1] + "\" within " + std::to_string(ms) + " ms");
    current = found;
    currentTitle = w[1];
    return 1;
}

// A visible top-level window with a Static child showing the text.
struct MessageSearch {
    const std::string* text;
    HWND found;
};

BOOL CALLBACK MatchStatic(HWND control, LPARAM param) {
    MessageSearch* search = reinterpret_cast<MessageSearch*>(param);
    char className[16] = {0};
    std::string text;
    GetClassNameA(control, className, sizeof className);
    if (lstrcmpiA(className, "Static") == 0 && ReadText(control, &text) && text == *search->text) {
        search->found = GetAncestor(control, GA_ROOT);
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK SearchTopWindow(HWND window, LPARAM param) {
    if (!IsWindowVisible(window)) return TRUE;
    EnumChildWindows(window, MatchStatic, param);
    return reinterpret_cast<MessageSearch*>(param)->found == nullptr;
}

HWND FindMessage(const std::string& text) {
    MessageSearch search = {&text, nullptr};
    EnumWindows(SearchTopWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void MakeCurrent(HWND window) {
    current = window;
    wchar_t title[256] = {0};
    GetWindowTextW(current, title, 256);
    currentTitle = Utf8(title);
}

int CmdMessage(const std::vector<std::string>& w) {
    int ms;
    if (w.size() < 2) return Fail("usage: message TEXT [TIMEOUT]");
    if (!WaitArg(w, 2, &ms)) return 0;
    HWND found = nullptr;
    if (!WaitFor(ms, [&] { return (found = FindMessage(w[1])) != nullptr; }))
        return Fail("no message \"" + w[1] + "\" within " + std::to_string(ms) + " ms");
    MakeCurrent(found);
    return 1;
}

// One condition of wait-any: whether it holds now; 0 with a reason in
// failure when it cannot be read.
int Holds(const std::string& condition, int* holds) {
    size_t colon = condition.find(':');
    std::string kind = condition.substr(0, colon);
    std::string rest = colon == std::string::npos ? "" : condition.substr(colon + 1);
    if (kind == "message") {
        HWND found = FindMessage(rest);
        if (found != nullptr) MakeCurrent(found);
        *holds = found != nullptr;
        return 1;
    }
    size_t second = rest.find(':');
    int id;
    if ((kind != "enabled" && kind != "text" && kind != "not-text") || second == std::string::npos || !ToInt(rest.substr(0, second), &id))
        return Fail("bad condition '" + condition + "'");
    std::string value = rest.substr(second + 1);
    HWND control;
    if (!Control(id, &control)) return 0;
    if (kind == "enabled") {
        *holds = (IsWindowEnabled(control) ? "1" : "0") == value;
        return 1;
    }
    std::string text;
    *holds = ReadText(control, &text) && (text == value) == (kind == "text");
    return 1;
}

int CmdWaitAny(const std::vector<std::string>& w) {
    int ms;
    if (w.size() < 3 || !ToInt(w[1], &ms)) return Fail("usage: wait-any TIMEOUT CONDITION...");
    size_t matched = 0;
    int ok = 1;
    WaitFor(ms, [&] {
        for (size_t i = 2; i < w.size() && ok; i++) {
            int holds = 0;
            ok = Holds(w[i], &holds);
            if (ok && holds) {
                matched = i - 1;
                return true;
            }
        }
        return !ok;
    });
    if (!ok) return 0;
    if (matched == 0) return Fail("none of the conditions held within " + w[1] + " ms");
    std::printf("%zu\n", matched);
    return 1;
}

int CmdClosed(const std::vector<std::string>& w) {
    int ms;
    if (!WaitArg(w, 1, &ms)) return 0;
    if (!WaitFor(ms, [&] { return current == nullptr || !IsWindow(current); }))
        return Fail("window \"" + currentTitle + "\" still there after " + std::to_string(ms) + " ms");
    current = nullptr;
    return 1;
}

int CmdGone(const std::vector<std::string>& w) {
    int ms;
    if (w.size() < 2) return Fail("usage: gone TITLE [TIMEOUT]");
    if (!WaitArg(w, 2, &ms)) return 0;
    if (!WaitFor(ms, [&] { return FindTopWindow(w[1]) == nullptr; }))
        return Fail("window \"" + w[1] + "\" still there after " + std::to_string(ms) + " ms");
    return 1;
}

int CmdClick(const std::vector<std::string>& w, int wait) {
    int id, ms = kClickWaitMs;
    if (w.size() < 2 || !ToInt(w[1], &id)) return Fail("usage: " + w[0] + " ID");
    if (wait && w.size() > 2 && !ToInt(w[2], &ms)) return Fail("bad time-out");
    HWND control;
    if (!EnabledButton(id, &control)) return 0;
    WPARAM wParam = MAKEWPARAM(id, BN_CLICKED);
    LPARAM lParam = reinterpret_cast<LPARAM>(control);
    if (!wait) {
        if (!PostMessageA(current, WM_COMMAND, wParam, lParam)) return Fail("could not post the click");
        return 1;
    }
    DWORD start = GetTickCount();
    DWORD_PTR r = 0;
    if (!SendMessageTimeoutA(current, WM_COMMAND, wParam, lParam, SMTO_NORMAL, ms, &r))
        return Fail("the click on " + w[1] + " was not handled within " + std::to_string(ms) + " ms");
    lastClickMs = GetTickCount() - start;
    return 1;
}

int CmdCommand(const std::vector<std::string>& w) {
    int id;
    if (w.size() < 2 || !ToInt(w[1], &id)) return Fail("usage: command ID");
    if (!NeedWindow()) return 0;
    DWORD_PTR r = 0;
    if (!SendMessageTimeoutA(current, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0, SMTO_NORMAL, kClickWaitMs, &r))
        return Fail("command " + w[1] + " was not handled");
    return 1;
}

int CmdKey(const std::vector<std::string>& w) {
    if (w.size() < 2) return Fail("usage: key enter|escape");
    WPARAM key;
    if (w[1] == "enter")
        key = VK_RETURN;
    else if (w[1] == "escape")
        key = VK_ESCAPE;
    else
        return Fail("unknown key '" + w[1] + "'");
    if (!NeedWindow()) return 0;
    GUITHREADINFO info;
    ZeroMemory(&info, sizeof info);
    info.cbSize = sizeof info;
    HWND target = current;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(current, nullptr), &info) && info.hwndFocus != nullptr)
        target = info.hwndFocus;
    PostMessageA(target, WM_KEYDOWN, key, 1);
    PostMessageA(target, WM_KEYUP, key, 0xC0000001);
    Settle();
    return 1;
}

int CmdClose(const std::vector<std::string>&) {
    if (!NeedWindow()) return 0;
    if (!PostMessageA(current, WM_CLOSE, 0, 0)) return Fail("could not post WM_CLOSE");
    return 1;
}

int CmdSetText(const std::vector<std::string>& w) {
    int id;
    if (w.size() < 3 || !ToInt(w[1], &id)) return Fail("usage: set-text ID TEXT");
    HWND control;
    if (!Control(id, &control)) return 0;
    if (!WriteText(control, w[2])) return Fail("could not set the text of " + w[1]);
    return 1;
}

int CmdSelect(const std::vector<std::string>& w) {
    int id, index;
    if (w.size() < 3 || !ToInt(w[1], &id) || !ToInt(w[2], &index)) return Fail("usage: select ID INDEX");
    HWND control;
    if (!Control(id, &control)) return 0;
    LRESULT r = 0;
    if (!Query(control, CB_SETCURSEL, static_cast<WPARAM>(index), 0, &r)) return Fail("no answer");
    if (index >= 0 && r != index) return Fail("no entry " + w[2] + " in list " + w[1]);
    return 1;
}

int CmdText(const std::vector<std::string>& w) {
    int id;
    if (w.size() < 2 || !ToInt(w[1], &id)) return Fail("usage: text ID");
    HWND control;
    std::string text;
    if (!Control(id, &control)) return 0;
    if (!ReadText(control, &text)) return Fail("no answer from control " + w[1]);
    std::printf("%s\n", text.c_str());
    return 1;
}

int CmdExpectText(const std::vector<std::string>& w, int wait) {
    int id, ms = 0;
    if (w.size() < 3 || !ToInt(w[1], &id)) return Fail("usage: " + w[0] + " ID TEXT");
    if (wait && !WaitArg(w, 3, &ms)) return 0;
    HWND control;
    if (!Control(id, &control)) return 0;
    std::string text = "(no answer)";
    if (!WaitFor(ms, [&] { return ReadText(control, &text) && text == w[2]; }))
        return Fail("control " + w[1] + " shows \"" + text + "\", expected \"" + w[2] + "\"");
    return 1;
}

int CmdExpectEnabled(const std::vector<std::string>& w, int wait) {
    int id, on, ms = 0;
    if (w.size() < 3 || !ToInt(w[1], &id) || !ToInt(w[2], &on)) return Fail("usage: " + w[0] + " ID 0|1");
    if (wait && !WaitArg(w, 3, &ms)) return 0;
    HWND control;
    if (!Control(id, &control)) return 0;
    if (!WaitFor(ms, [&] { return (IsWindowEnabled(control) ? 1 : 0) == (on ? 1 : 0); }))
        return Fail("control " + w[1] + " is " + (on ? "disabled" : "enabled") + ", expected " +
                    (on ? "enabled" : "disabled"));
    return 1;
}

int ReadProgress(HWND control, int* pos, int* low, int* high) {
    LRESULT p = 0, l = 0, h = 0;
    if (!Query(control, PBM_GETPOS, 0, 0, &p) || !Query(control, PBM_GETRANGE, TRUE, 0, &l) ||
        !Query(control, PBM_GETRANGE, FALSE, 0, &h))
        return 0;
    *pos = static_cast<int>(p);
    *low = static_cast<int>(l);
    *high = static_cast<int>(h);
    return 1;
}

int CmdProgress(const std::vector<std::string>& w) {
    int id, pos, low, high;
    if (w.size() < 2 || !ToInt(w[1], &id)) return Fail("usage: progress ID");
    HWND control;
    if (!Control(id, &control)) return 0;
    if (!ReadProgress(control, &pos, &low, &high)) return Fail("no answer from control " + w[1]);
    std::printf("%d %d %d\n", pos, low, high);
    return 1;
}

int CmdWaitProgress(const std::vector<std::string>& w) {
    int id, target, ms;
    if (w.size() < 3 || !ToInt(w[1], &id) || !ToInt(w[2], &target)) return Fail("usage: wait-progress ID POS");
    if (!WaitArg(w, 3, &ms)) return 0;
    HWND control;
    if (!Control(id, &control)) return 0;
    int pos = -1, low = 0, high = 0;
    if (!WaitFor(ms, [&] { return ReadProgress(control, &pos, &low, &high) && pos >= target; }))
        return Fail("progress " + w[1] + " at " + std::to_string(pos) + ", expected " + w[2] + " or more");
    return 1;
}

int CmdList(const std::vector<std::string>& w, int expect) {
    int id, selection = 0, wanted = -1;
    if (w.size() < 2 || !ToInt(w[1], &id) || (expect && (w.size() < 4 || !ToInt(w[3], &wanted))))
        return Fail(expect ? "usage: expect-list ID ITEMS SEL" : "usage: list ID");
    HWND control;
    std::string items;
    if (!Control(id, &control)) return 0;
    // A window busy for a moment (a file dialog filling its folder view on
    // a loaded machine) answers late: asked again until it does.
    if (!WaitFor(kDefaultWaitMs, [&] { return ReadList(control, &items, &selection); }))
        return Fail("no answer from list " + w[1]);
    if (!expect) {
        std::printf("%s %d\n", items.c_str(), selection);
        return 1;
    }
    if (items != w[2] || selection != wanted)
        return Fail("list " + w[1] + " holds \"" + items + "\" with " + std::to_string(selection) +
                    " selected, expected \"" + w[2] + "\" with " + w[3]);
    return 1;
}

int CmdExpectElapsed(const std::vector<std::string>& w) {
    int low, high;
    if (w.size() < 3 || !ToInt(w[1], &low) || !ToInt(w[2], &high)) return Fail("usage: expect-elapsed MIN MAX");
    if (static_cast<int>(lastClickMs) < low || static_cast<int>(lastClickMs) > high)
        return Fail("the last click took " + std::to_string(lastClickMs) + " ms, expected " + w[1] + " to " + w[2]);
    return 1;
}

int CmdOpenDialog(const std::vector<std::string>& w, int choose) {
    int ms;
    if (choose && w.size() < 2) return Fail("usage: open-file PATH [TIMEOUT]");
    if (!WaitArg(w, choose ? 2 : 1, &ms)) return 0;
    if (!CmdWindow({"window", "Open", std::to_string(ms)})) return 0;
    HWND dialog = current;
    if (choose) {
        HWND name = GetDlgItem(dialog, kOpenFileNameCombo);
        if (name == nullptr) name = GetDlgItem(dialog, kOpenFileNameEdit);
        if (name == nullptr) return Fail("the \"Open\" dialog has no file name field");
        if (!WriteText(name, w[1])) return Fail("could not type the file name");
    }
    int id = choose ? IDOK : IDCANCEL;
    if (!PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                      reinterpret_cast<LPARAM>(GetDlgItem(dialog, id))))
        return Fail("could not press the button");
    return 1;
}

BOOL CALLBACK PrintControl(HWND control, LPARAM) {
    char className[64] = {0};
    std::string text;
    GetClassNameA(control, className, sizeof className);
    if (!ReadText(control, &text)) text = "(no answer)";
    std::printf("%d %s %d \"%s\"\n", GetDlgCtrlID(control), className, IsWindowEnabled(control) ? 1 : 0,
                text.c_str());
    return TRUE;
}

int CmdControls(const std::vector<std::string>&) {
    if (!NeedWindow()) return 0;
    EnumChildWindows(current, PrintControl, 0);
    return 1;
}

int CmdConsoleClose(const std::vector<std::string>& w) {
    if (w.size() < 2 || w.size() > 3) return Fail("usage: console-close PROGRAM.exe [close|logoff|shutdown]");
    std::string said;
    if (!DeliverConsoleClose(w[1], w.size() > 2 ? w[2] : "close", &said)) return Fail(said);
    std::printf("%s\n", said.c_str());
    return 1;
}

int RunLine(const std::string& line) {
    std::vector<std::string> w = SplitWords(line);
    if (w.empty() || w[0][0] == '#') return 1;
    const std::string& c = w[0];
    if (c == "window") return CmdWindow(w);
    if (c == "gone") return CmdGone(w);
    if (c == "message") return CmdMessage(w);
    if (c == "closed") return CmdClosed(w);
    if (c == "click") return CmdClick(w, 1);
    if (c == "press") return CmdClick(w, 0);
    if (c == "command") return CmdCommand(w);
    if (c == "key") return CmdKey(w);
    if (c == "close") return CmdClose(w);
    if (c == "set-text") return CmdSetText(w);
    if (c == "select") return CmdSelect(w);
    if (c == "text") return CmdText(w);
    if (c == "expect-text") return CmdExpectText(w, 0);
    if (c == "wait-text") return CmdExpectText(w, 1);
    if (c == "expect-enabled") return CmdExpectEnabled(w, 0);
    if (c == "wait-enabled") return CmdExpectEnabled(w, 1);
    if (c == "progress") return CmdProgress(w);
    if (c == "wait-progress") return CmdWaitProgress(w);
    if (c == "list") return CmdList(w, 0);
    if (c == "expect-list") return CmdList(w, 1);
    if (c == "expect-elapsed") return CmdExpectElapsed(w);
    if (c == "wait-any") return CmdWaitAny(w);
    if (c == "elapsed") {
        std::printf("%lu\n", static_cast<unsigned long>(lastClickMs));
        return 1;
    }
    if (c == "open-file") return CmdOpenDialog(w, 1);
    if (c == "open-cancel") return CmdOpenDialog(w, 0);
    if (c == "controls") return CmdControls(w);
    if (c == "console-close") return CmdConsoleClose(w);
    if (c == "settle") {
        if (current != nullptr && IsWindow(current)) Settle();
        return 1;
    }
    if (c == "sleep") {
        int ms;
        if (w.size() < 2 || !ToInt(w[1], &ms)) return Fail("usage: sleep MS");
        Sleep(static_cast<DWORD>(ms));
        return 1;
    }
    if (c == "echo") {
        for (size_t i = 1; i < w.size(); i++) std::printf("%s%s", i > 1 ? " " : "", w[i].c_str());
        std::printf("\n");
        return 1;
    }
    return Fail("unknown command '" + c + "'");
}

}  // namespace

int main() {
    // The arguments in UTF-16, as the system has them: the ANSI ones lose
    // every character outside the code page.
    std::vector<std::string> lines;
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv != nullptr) {
        for (int i = 1; i < argc; i++) lines.push_back(Utf8(argv[i]));
        LocalFree(argv);
    }
    if (lines.empty()) {
        char buffer[4096];
        while (std::fgets(buffer, sizeof buffer, stdin) != nullptr) {
            size_t n = std::strlen(buffer);
            while (n > 0 && (buffer[n - 1] == '\n' || buffer[n - 1] == '\r')) buffer[--n] = '\0';
            lines.push_back(buffer);
        }
        if (std::ferror(stdin)) {
            std::printf("uidriver: cannot read the script\n");
            return 2;
        }
    }
    for (const std::string& line : lines) {
        lineNumber++;
        if (!RunLine(line)) {
            std::printf("uidriver: line %d: %s: %s\n", lineNumber, line.c_str(), failure.c_str());
            std::fflush(stdout);
            return 1;
        }
        std::fflush(stdout);
    }
    return 0;
}
