#include "t62/t62_readback.h"

#include <cstring>

#include "core/app_state.h"
#include "t62/t62_protocol.h"

namespace {

enum { kVectorRows = 4 };

// Reads the row at address into row. Returns 1, or 0 after storing the
// failure as the run's status.
int ReadRow(int32_t address, uint8_t* row) {
    AppState.currentAddress = address;
    if (T62ReadRowBytes(address, row) == 1) return 1;
    AppState.uploadResult = kT62ReadBackFailed;
    return 0;
}

// Compares the row at address with the image; 0 when the read failed.
int CompareRow(int32_t address) {
    uint8_t row[kT62RowBytes];
    if (!ReadRow(address, row)) return 0;
    const uint8_t* expected = AppState.hexImage + 2 * address;
    int at = T62RowDifference(row, expected);
    if (at >= 0) {
        if (AppState.readBackRowsDiffering++ == 0) {
            int word = at - at % 4;
            AppState.readBackFirstDifference = address + word / 2;
            std::memcpy(AppState.readBackDeviceWord, row + word, 3);
            std::memcpy(AppState.readBackImageWord, expected + word, 3);
        }
    }
    AppState.progressBytes += kT62RowBytes;
    return 1;
}

}  // namespace

int32_t T62ApplicationRows(int32_t imageLength) {
    if (imageLength <= 0) return 0;
    const int32_t unitBytes = kT62RowsPerErase * kT62RowBytes;
    int32_t units = (imageLength + unitBytes - 1) / unitBytes;
    int32_t rows = units * kT62RowsPerErase;
    int32_t room = (kT62MemoryEnd - kT62ApplicationStart) / kT62RowAddresses;
    return rows < room ? rows : room;
}

int32_t T62CompareRows(int32_t imageLength) { return T62ApplicationRows(imageLength) + kVectorRows; }

void T62CompareWorker() {
    AppState.progressBytes = 0;
    AppState.readBackRowsDiffering = 0;
    AppState.readBackFirstDifference = -1;
    int32_t rows = T62ApplicationRows(AppState.hexImageLength);
    for (int32_t i = 0; i < rows; ++i)
        if (!CompareRow(kT62ApplicationStart + i * kT62RowAddresses)) return;
    for (int32_t i = 0; i < kVectorRows; ++i)
        if (!CompareRow(i * kT62RowAddresses)) return;
    AppState.uploadResult = AppState.readBackRowsDiffering ? kT62ReadBackDiffers : kT62ReadBackDone;
}

void T62ReadAllWorker() {
    AppState.progressBytes = 0;
    for (int32_t address = 0; address < kT62MemoryEnd; address += kT62RowAddresses) {
        if (!ReadRow(address, AppState.hexImage + 2 * address)) return;
        AppState.progressBytes += kT62RowBytes;
    }
    AppState.uploadResult = kT62ReadBackDone;
}
