// The ZQ3 update: the IC-variant check of an image against the IC, and the
// upload run that hands the IC over to its loader and sends the records.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/app_state.h"

// KeyerUploadWorker status codes (AppState.uploadResult).
enum {
    kKeyerSofError = 0x80,
    kKeyerChecksumError = 0x81,
    kKeyerVerifyError = 0x82,
    kKeyerTimeout = 0x84,
    kKeyerSuccess = 0x88,
    // The loader's 0x89, and also a byte here before a frame went out: the
    // replies are out of step with the frames.
    kKeyerSyncError = 0x89,
    kKeyerSpeedFailed = 0x8A,
    kKeyerNoLoader = 0x8B,
    // A reply to a record that is no code of the loader's own and would
    // read as another outcome: 0x00 (no result waiting), 0x88 (success),
    // 0x84 (no reply), 0x8A and 0x8B (the speed change and the echo test),
    // 0x8C itself. The IC did not take the record: a failure of its own.
    kKeyerRecordRefused = 0x8C,
};

enum { kKeyerLastSlot = 955, kKeyerPhase1Marker = 1012 };

// A record frame: the command, the address, 16 data bytes and the checksum;
// the loader answers each with one byte.
enum { kKeyerFrameBytes = 20, kKeyerReplyBytes = 1 };

// The whole upload; stores the status in uploadResult as its last action.
// Counts the frames accepted in keyerRecordsSent as it goes.
void KeyerUploadWorker();

// The record frames an upload of image sends: 956, or 964 with the first
// phase.
int32_t KeyerUploadFrames(const KeyerRecord* image);

// The variant code of an image whose version word holds an erased byte.
enum { kKeyerNoVariantCode = 255 };

// Null when an IC of icType may take an image of variantCode, else the text
// that refuses it. An IC with its O/S refuses an image of kKeyerNoVariantCode.
const char* KeyerVariantCheck(uint8_t icType, int32_t variantCode);

// The dialog's line after a successful load.
int FormatKeyerLoadLine(char* line, size_t size, int32_t version, int32_t variantCode, int32_t records);

const char* KeyerStatusMessage(int32_t code);

// The uploader's line while the worker runs, for an IC with its operating
// firmware and for one without (recovery mode).
const char* const kKeyerRunningText = "Programming ZQ3 IC....";
const char* const kKeyerRecoveryText = "Programming ZQ3 in Recovery mode....";
