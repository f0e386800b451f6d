// AppState: the one process-wide record shared by the dialogs, the probes and
// the uploader workers. All fields are zero at start.
#pragma once
#include <atomic>
#include <cstdint>

#include "core/platform.h"

enum { kImageBufferSize = 0x40000 };

// One 8-word record of the keyer program store.
struct KeyerRecord {
    uint8_t address[2];  // word address of the first word, high byte first
    uint8_t data[16];    // 8 program words, low byte first
};
static_assert(sizeof(KeyerRecord) == 18, "KeyerRecord is 18 bytes");

enum { kKeyerRecordCount = 8192 };
enum { kKeyerImageSize = kKeyerRecordCount * 18 };  // 147456 bytes

// How often a front end looks at a running worker, its uploadResult first
// and then its progress: the dialogs' timer, the command line's wait.
enum { kWorkerTickMs = 100 };

// Keyer IC types reported by the probe.
enum KeyerIcType { kIcAmber = 1, kIcTopaz = 2, kIcJade = 3, kIcRuby = 4, kIcNoOs = 5 };

struct AppStateRecord {
    // Main window.
    void* instance;
    uint8_t probeBusy;
    int32_t comPort;

    // Synchronous serial channel.
    PortHandle portHandle;
    uint8_t portOpen;

    // Shared buffers.
    char statusText[256];
    uint8_t txBuffer[264];
    uint8_t rxBuffer[264];

    // Port selection dialog.
    int32_t portList[36];
    int32_t portListCount;
    int32_t portListSelection;
    char portNameBuffer[16];

    // Image loaders.
    uint8_t hexRecordData[256];

    // T62 and PSoC uploaders.
    uint8_t* hexImage;
    int32_t hexImageLength;
    int32_t t62ImageLoaded;
    int32_t psocImageLoaded;
    std::atomic<int32_t> progressBytes;
    std::atomic<int32_t> currentAddress;

    // All three uploaders: 0 while no result waits, else the worker's code.
    std::atomic<int32_t> uploadResult;

    // T62 read-back (the command line's verify): what differed.
    int32_t readBackRowsDiffering;
    int32_t readBackFirstDifference;  // target address of the first word that differs; -1 none
    uint8_t readBackDeviceWord[3];    // its significant bytes on the device
    uint8_t readBackImageWord[3];     // and in the image

    // Keyer channel and probe.
    PortHandle keyerHandle;
    uint8_t keyerIcType;
    uint8_t keyerFwVersion;
    uint8_t keyerFwRevision;

    // ZQ3 uploader.
    KeyerRecord* keyerImage;
    int32_t keyerRecordCount;
    int32_t keyerImageLoaded;
    int32_t keyerImageVersion;
    int32_t keyerImageVariant;
    int32_t keyerUpdateAllowed;
    std::atomic<int32_t> keyerProgress;
    std::atomic<int32_t> keyerRecordsSent;  // record frames the IC's loader accepted in this run
};

extern AppStateRecord AppState;
