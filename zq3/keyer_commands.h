// Host commands of the keyer IC and the facts about its variants.
#pragma once
#include <cstddef>
#include <cstdint>

const uint8_t kKeyerEchoTest[] = {0x00, 0x04, 0x55};
const uint8_t kKeyerVersionQuery[] = {0x00, 0x09};
const uint8_t kKeyerRevisionQuery[] = {0x00, 0x17};
const uint8_t kKeyerIcTypeQuery[] = {0x00, 0x18};
const uint8_t kKeyerHandOver[] = {0x00, 0x10, 0x9B};
const uint8_t kKeyerSpeedChange = 0x35;
const uint8_t kKeyerEndOfUpload = 0x5A;

const uint8_t kKeyerEchoOs = 0x55;      // echo from a running operating firmware
const uint8_t kKeyerEchoLoader = 0xAA;  // echo from the IC's loader
const uint8_t kKeyerRecordAccepted = 0x3C;
const uint8_t kKeyerRecordCommand = 0x1B;
const uint8_t kKeyerLastRecordCommand = 0x2E;

// "AMBER", "TOPAZ", "JADE" or "RUBY" for IC types 1-4, else null.
const char* KeyerIcName(uint8_t icType);
