// The three targets, one row each: everything a front end needs to probe a
// target, load its image, update it and say how that went. The Windows
// program, the page and the command line take a target's row and never call
// a target's own functions; a fourth target is a fourth row.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "serial/line_plan.h"

struct ReleaseImage;  // release/release.h

enum TargetId { kTargetT62 = 0, kTargetPsoc, kTargetZq3, kTargetCount };

// What a probe found, as the main window's lines show it.
struct TargetProbeLines {
    int connected;           // the target answered: its update may follow
    int loaderOnly;          // it answered through its loader only (the ZQ3 without its O/S)
    int wrongDevice;         // something answered, but not as the target
    char portLine[64];       // the port line after the exchange
    char hwLine[64];         // the hardware line; empty: the window's line is left as it is
    const char* resultLine;  // the result line; null: left as it is

    // What the probe found, as values of their own (the command line's
    // JSON); "" or 0 where the target has none or the probe found none.
    char loaderVersion[8];    // the T62's firmware loader "2.5", the PSoC's boot loader "7"
    char hwRevision[4];       // the T62's hardware revision "A"
    char firmwareVersion[24];  // the ZQ3 IC's operating firmware "31.03"
    int icType;               // the ZQ3 IC's type: 1 AMBER ... 4 RUBY, 5 without its O/S, or another code it gave
    char variant[8];          // the ZQ3 IC's variant "JADE"
    int replyCode;            // a T62 that did not answer whole: SerialReadFrame's result
    // For a release: what its image must fit (the ZQ3's variant, "JADE"; the
    // T62's hardware revision, "B"), "" when the probe told none; and the
    // firmware the device runs as version * 100 + revision (the ZQ3), -1
    // when it tells none.
    char fit[16];
    int32_t firmware;
};

// Update's checks before the worker starts, and what they found.
enum TargetPrepareOutcome {
    kTargetReady = 0,       // start the worker; text is the running line
    kTargetRefused,         // text goes on the status line; nothing was sent
    kTargetNotConnected,    // the re-probe found nothing: text in a message box
};

struct TargetPrepared {
    int outcome;
    const char* text;
    int probed;              // the step probed the target: its lines are in probe
    int wrongImage;          // the image is not for the device that answered
    TargetProbeLines probe;
};

struct TargetRow {
    TargetId id;
    const char* key;      // the command line's name: "t62", "psoc", "zq3"
    const char* device;   // in texts: "T62", "PSoC", "ZQ3 IC"

    // The main window and the uploader dialog (res/resource.h ids).
    int openButton;       // the main window's probe button
    int updateButton;     // the main window's button that opens the uploader
    int dialog;           // the uploader's template
    int startButton;      // the uploader's Update
    int restartButton;    // 0 when the uploader has none
    const char* completedText;  // the main window's result line once the uploader is closed

    // The probe. The main window opens COM<comPort>; the command line a
    // device by its path. Both return 0 or a failure code for openFailure.
    int32_t (*openPort)(int32_t comPort);  // null: the probe opens its own channel
    int (*openDevice)(const char* device);
    const char* (*openFailure)(int code, char* text, size_t size);
    const char* waitingText;    // on the port line while the probe waits
    int clearsHwLine;           // the hardware line is cleared before the probe
    void (*identify)(TargetProbeLines* lines);
    // One read-only exchange asked again to time the replies
    // (uploader/held_replies.h), on the channel the probe left open: 1 when
    // it was answered. Null: the identify, where that is one exchange.
    int (*askTimed)();
    // Why the command line's probe found no target, for its message.
    std::string (*noAnswer)(const TargetProbeLines& lines);
    const char* loaderOnlyText;  // the command line's line for a loaderOnly probe

    // The image.
    int hexFile;                // 1: an Intel HEX file; 0: a binary image (the file chooser's filter)
    size_t storeSize;
    void (*attachStore)(void* store);  // the worker's image store; null to let go of it
    void* (*store)();
    int32_t (*load)(const char* path);  // > 0 when loaded (bytes or records)
    void (*loadedLine)(char* text, size_t size);
    const char* emptyMeaning;   // what a load of nothing means, for the command line
    int32_t* loaded;            // the uploader's loaded flag
    // Why the loaded image cannot be written whole, formatted into text;
    // null when it can. Null for a target that writes every image whole.
    const char* (*refusal)(char* text, size_t size);
    // The command line's longer account of a refusal, and of data it leaves
    // out; null when none.
    int (*explainFit)(std::string* refusal, std::string* note);
    // Whether what loaded is plainly no image for this target, by what it
    // holds: what the file looks like, else "". Null for a target whose
    // images cannot be told apart. The command line refuses such a file;
    // the dialogs show what they always did.
    std::string (*notItsImage)();

    // Update.
    int prepareProbes;          // prepare runs the probe itself (the command line skips its own)
    void (*prepare)(const TargetRow& row, TargetPrepared* out);
    const char* runningText;    // the status line while the worker runs, once prepare is ready
    void (*worker)();
    int32_t success;
    const char* (*message)(int32_t status);
    const char* restartText;    // the status line while Restart resets the target
    int (*restart)();

    // Progress: the bar's range (null: the bar keeps its own) and position,
    // whether the address is shown; and for the command line the unit, the
    // units in the run, the image bytes per unit (0: the units are counted
    // in records sent), and a unit's time on the line.
    int32_t (*barRange)();
    int32_t (*barPosition)();
    int showsAddress;
    const char* unit;
    int32_t (*units)();
    int32_t unitBytes;          // 0: the units are the records the IC took (keyerRecordsSent)
    double secondsPerUnit;
    // Bytes on the wire for the run, for the report.
    int64_t (*runBytes)();
    // The run's exchanges on the line, for its expected time
    // (TargetRunSeconds below; uploader/run_plans.h).
    void (*runPlan)(LinePlan* plan);
    // What to do after an update that failed or was abandoned, for the
    // command line.
    std::string (*advice)(const std::string& program, const std::string& file, const std::string& port);

    // What a load left besides the store (its length, or its records,
    // version and variant), to carry a loaded image to another process.
    void (*loadFacts)(int32_t facts[3]);
    void (*setLoadFacts)(const int32_t facts[3]);

    // Reading the program memory back; null when the target cannot.
    const struct TargetReadBack* readBack;

    // What to do next, for the command line and the page (the Windows
    // program's texts stay as they are): after a probe that found no
    // target, and after a run that ended with status other than success.
    const char* probeAdvice;
    const char* (*runAdvice)(int32_t status);

    // For a release's entry: what the loaded image fits and the version it
    // tells (the ZQ3's variant, version and revision). 1, or 0 when the image
    // tells no variant a release could name it by. Null: the image tells
    // nothing (every device of the target, as far as the image goes).
    int (*releaseFacts)(ReleaseImage* image);
};

// What to do after the port stopped working in the middle of a command,
// for the command line and the page.
extern const char* const kTargetPortLostAdvice;
// What to do when another program holds the port, for the page.
extern const char* const kTargetPortBusyAdvice;

struct TargetReadBack {
    void (*compareWorker)();        // compares with the loaded image
    int32_t (*compareUnits)();      // the units it reads
    void (*readAllWorker)();        // reads the whole memory into the store
    int32_t memoryUnits;
    int32_t done;                   // the status of a read-back that read everything (and found it the same)
    int32_t differs;                // the status of a compare that found a difference
    double secondsPerUnit;
};

const TargetRow& TargetOf(TargetId id);
// The seconds row's update of the image loaded now takes on the line: on a
// plain wire (latencyMs 0), or behind a USB serial adapter that holds each
// reply up to its latency timer of latencyMs (serial/line_plan.h).
double TargetRunSeconds(const TargetRow& row, int latencyMs);
// The row for a command line's name, or null.
const TargetRow* TargetNamed(const std::string& key);
// The row whose main window button id is; null when none.
const TargetRow* TargetOfButton(int button);

// Lets go of whatever channel holds the port, so that it goes back to the
// system the proper way.
void TargetsClosePort();
