#include "zq3/keyer_upload.h"

#include <cstdio>

#include "core/app_state.h"
#include "image/keyer_image.h"
#include "core/line_log.h"
#include "serial/line_quiet.h"
#include "zq3/keyer_channel.h"
#include "zq3/keyer_commands.h"

namespace {

// The percentage shown is of 960 slots, a little more than are sent, so the
// bar stops short of full (99) when the last record has gone.
const int kProgressSlots = 960;
const int kPhase1Slots[] = {1012, 1013, 1014, 1015, 1000, 1001, 1002, 1003};

// A reply to a record that ends the run, as a status code. The loader's own
// refusals keep their codes, and so does any other byte that means nothing
// else; a byte that is also another outcome's code cannot stand for itself.
int32_t RecordFailure(uint8_t reply) {
    switch (reply) {
        case 0:
        case kKeyerTimeout:
        case kKeyerSuccess:
        case kKeyerSpeedFailed:
        case kKeyerNoLoader:
        case kKeyerRecordRefused: return kKeyerRecordRefused;
        default: return reply;
    }
}

// Sends the frame of one slot; 1 with *reply the loader's answer, or 0 when
// no byte came.
int SendFrame(uint8_t command, int slot, uint8_t* reply) {
    const KeyerRecord& record = AppState.keyerImage[slot];
    uint8_t frame[kKeyerFrameBytes];
    frame[0] = command;
    frame[1] = record.address[0];
    frame[2] = record.address[1];
    uint8_t sum = command + record.address[0] + record.address[1];
    for (int i = 0; i < 16; ++i) {
        frame[3 + i] = record.data[i];
        sum = static_cast<uint8_t>(sum + record.data[i]);
    }
    frame[19] = static_cast<uint8_t>(-sum);
    KeyerWrite(frame, kKeyerFrameBytes);
    *reply = 0;
    return KeyerRead(reply, 1) ? 1 : 0;
}

// The variant an image's code is made for, as a row or column of the
// variant tables: 0 (AMBER) to 3 (RUBY); a code past the last band counts as
// RUBY's.
int VariantIndex(int32_t code) {
    if (code >= kKeyerVariantCodes) code = kKeyerVariantCodes - 1;
    return KeyerVariantBand(code) - kIcAmber;
}

// Sends one record frame; 1 when the IC's loader accepted it, else 0 with
// *status the run's status: no reply, or the reply that refused it.
int SendAccepted(uint8_t command, int slot, int32_t* status) {
    // The loader answers a frame only once it has all of it: a byte that
    // comes before the frame goes out is no answer to it (a reply sent
    // twice, noise, or the answer to an earlier frame that another byte
    // stood in for). Replies and frames are out of step, and an answer read
    // before may have been another frame's: the run ends here, without this
    // frame, rather than count a record the IC may not have taken. The line
    // is watched for a few character times first, for a copy that follows
    // the last reply byte by byte.
    uint32_t early = InputWithin(KeyerInputWaiting, LineQuietMicros(KeyerLineSpeed()));
    if (early > 0) {
        *status = kKeyerSyncError;
        LineLogNote("zq3 record of slot %d: %lu bytes came before it was sent: replies out of step", slot,
                    static_cast<unsigned long>(early));
        return 0;
    }
    uint8_t reply = 0;
    if (!SendFrame(command, slot, &reply)) {
        *status = kKeyerTimeout;
        return 0;
    }
    if (reply != kKeyerRecordAccepted) {
        *status = RecordFailure(reply);
        LineLogNote("zq3 record of slot %d: refused with %02x", slot, reply);
        return 0;
    }
    AppState.keyerRecordsSent++;
    return 1;
}

// The upload from the hand-over to the line back at 1200 baud; its status.
int32_t UploadImage() {
    uint8_t reply = 0;
    int32_t status = 0;
    AppState.keyerRecordsSent = 0;
    // What the probe's exchanges left on the line answers nothing of this run.
    KeyerDiscardInput();
    if (AppState.keyerIcType != kIcNoOs) KeyerWrite(kKeyerHandOver, sizeof kKeyerHandOver);
    KeyerWrite(kKeyerEchoTest, sizeof kKeyerEchoTest);
    if (!KeyerRead(&reply, 1)) return kKeyerTimeout;
    if (reply != kKeyerEchoLoader) return kKeyerNoLoader;

    // An upload cut short leaves the loader and the line at the record
    // speed, where the probe found it: there is no speed to change, and the
    // speed request would reach the loader as the start of a record.
    if (KeyerLineSpeed() != kKeyerRecordBaud) {
        KeyerWrite(&kKeyerSpeedChange, 1);
        PlatformSleep(200);
        if (!KeyerSetSpeed(kKeyerRecordBaud)) return kKeyerSpeedFailed;
    }

    if (AppState.keyerImage[kKeyerPhase1Marker].data[0] != 0xFF) {
        for (int slot : kPhase1Slots)
            if (!SendAccepted(kKeyerRecordCommand, slot, &status)) return status;
    }
    for (int slot = 4; slot <= kKeyerLastSlot; ++slot) {
        AppState.keyerProgress = slot * 100 / kProgressSlots;
        if (!SendAccepted(kKeyerRecordCommand, slot, &status)) return status;
    }
    for (int slot = 0; slot <= 3; ++slot) {
        uint8_t command = slot == 3 ? kKeyerLastRecordCommand : kKeyerRecordCommand;
        if (!SendAccepted(command, slot, &status)) return status;
    }

    KeyerWrite(&kKeyerEndOfUpload, 1);
    PlatformSleep(500);
    if (!KeyerSetSpeed(kKeyerBaud)) return kKeyerSpeedFailed;
    PlatformSleep(100);
    return kKeyerSuccess;
}

}  // namespace

void KeyerUploadWorker() { AppState.uploadResult = UploadImage(); }

int32_t KeyerUploadFrames(const KeyerRecord* image) {
    const int32_t phase1 = sizeof kPhase1Slots / sizeof kPhase1Slots[0];
    int32_t frames = (kKeyerLastSlot - 4 + 1) + 4;  // phases 2 and 3
    if (image[kKeyerPhase1Marker].data[0] != 0xFF) frames += phase1;
    return frames;
}

const char* KeyerVariantCheck(uint8_t icType, int32_t variantCode) {
    static const char* const kRefusals[4][4] = {
        {nullptr, "Error: Attempting to program an AMBER ZQ with a TOPAZ image !",
         "Error: Attempting to program an AMBER ZQ with a JADE image !",
         "Error: Attempting to program an AMBER ZQ with a RUBY image !"},
        {"Error: Attempting to program a TOPAZ ZQ with an AMBER image !", nullptr,
         "Error: Attempting to program a TOPAZ ZQ with a JADE image !",
         "Error: Attempting to program a TOPAZ ZQ with a RUBY image !"},
        {"Error: Attempting to program a JADE ZQ with an AMBER image !",
         "Error: Attempting to program a JADE ZQ with a TOPAZ image !", nullptr,
         "Error: Attempting to program a JADE ZQ with a RUBY image !"},
        {"Error: Attempting to program a RUBY ZQ with an AMBER image !",
         "Error: Attempting to program a RUBY ZQ with a TOPAZ image !",
         "Error: Attempting to program a RUBY ZQ with a JADE image !", nullptr},
    };
    if (icType == kIcNoOs) return nullptr;
    if (icType < kIcAmber || icType > kIcRuby) return "Error: Unknown Keyer IC Version !";
    // Code 255 comes from an erased byte where an image keeps its version
    // and variant: a file with nothing there, another target's HEX file
    // picked by mistake for one. The bands would let it erase a RUBY's O/S.
    if (variantCode == kKeyerNoVariantCode && icType == kIcRuby)
        return "Error: Attempting to program a RUBY ZQ with an image of no IC variant !";
    return kRefusals[icType - 1][VariantIndex(variantCode)];
}

int FormatKeyerLoadLine(char* line, size_t size, int32_t version, int32_t variantCode, int32_t records) {
    if (variantCode >= 200)
        return std::snprintf(line, size, "ZQ Image Version: %d Loaded, %d Records, unknown IC variant",
                             static_cast<int>(version), static_cast<int>(records));
    static const char* const kFormats[4] = {
        "ZQ3 IC Version: %d.%02d Loaded, %d Records",
        "ZQ TOPAZ Version: %d.%02d Loaded, %d Records",
        "ZQ JADE Version: %d.%02d Loaded, %d Records",
        "ZQ RUBY Version: %d.%02d Loaded, %d Records",
    };
    int band = VariantIndex(variantCode);
    return std::snprintf(line, size, kFormats[band], static_cast<int>(version),
                         static_cast<int>(KeyerVariantRevision(variantCode)), static_cast<int>(records));
}

const char* KeyerStatusMessage(int32_t code) {
    switch (code) {
        case kKeyerSuccess: return "ZQ3 Programing Completed Successfully, Press Encoder to restart.";
        case kKeyerSofError: return "Error: SOF Error !";
        case kKeyerChecksumError: return "Error: Checksum !";
        case kKeyerVerifyError: return "Error: Flash Verify !";
        case kKeyerTimeout: return "Error: VIDUD Timeout !";
        case kKeyerSyncError: return "Error: VIDUD Sync !";
        case kKeyerRecordRefused: return "Error: ZQ3 Refused a Record !";
        default: return "Error: Restart failed !";
    }
}
