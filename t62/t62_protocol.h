// Commands of the T62 firmware loader, sent as framed packets on the
// synchronous channel (AppState.portHandle), and the operations built on them.
#pragma once
#include <cstdint>

// Target memory: two address units per 4-byte image word; a row is 0x80
// address units, 256 image bytes; an erase unit is 8 rows.
enum {
    kT62RowAddresses = 0x80,
    kT62RowBytes = 256,
    kT62RowsPerErase = 8,
    kT62ApplicationStart = 0xC00,
    kT62VectorEnd = 0x200,  // the vector rows: 0x000-0x1FF, four rows
};

// A command's header (command, count, three address bytes), and a frame
// that carries a full row (a write request, a read reply) on the wire,
// escapes aside: the start pair, the header and the row, the checksum, the
// end byte.
constexpr int kT62HeaderBytes = 5;
constexpr int kT62RowFrameBytes = 2 + kT62HeaderBytes + kT62RowBytes + 1 + 1;

// Puts a command's header at request[0..4]: command, count, and the
// address's three bytes, low first.
void T62PutHeader(uint8_t* request, uint8_t command, uint8_t count, int32_t address);

// Reply limits passed to SerialReadFrame.
enum { kT62IdentifyLimit = 16, kT62ReadLimit = 261, kT62EraseLimit = 261, kT62WriteLimit = 5 };

// T62Transact result when no attempt brought a valid reply.
enum { kT62NoValidReply = -5 };

// Sends request and receives one reply into reply (limit + 1 bytes), making
// up to attempts tries on a timeout or checksum error. Returns the reply's
// byte count (checksum byte included) or a negative code.
int32_t T62Transact(const uint8_t* request, uint16_t length, uint8_t* reply, uint16_t limit, uint16_t attempts);

int T62EraseBlock(int32_t address);   // 1 if a valid reply came, else 0
int T62WriteRow(int32_t address);     // the row from hexImage at 2 * address
// Reads the row at address: the reply bytes without the checksum, or < 0. A
// reply that begins with another request's header (a late reply for
// another row) counts as a corrupt one: it is tried again, then
// kT62NoValidReply.
int32_t T62ReadRow(int32_t address, uint8_t* reply);
// Reads the row at address through rxBuffer and puts its 256 image bytes in
// row. Returns 1, 0 when the reply was shorter than a row, or the negative
// code of T62ReadRow.
int32_t T62ReadRowBytes(int32_t address, uint8_t* row);
int T62VerifyRow(int32_t address);    // 1 if the row read back differs from the row last written
// Compares a row read back with the row expected (256 image bytes each), as
// the verify does: the pad byte of each word is not compared. Returns the
// offset of the first byte that differs, or -1.
int T62RowDifference(const uint8_t* readBack, const uint8_t* expected);
int T62Reset();                       // always 1
int T62InstallFallback();             // 1 on success
int T62InstallVectors();              // 1 on success
// Reads the four vector rows back: 1 when each holds the image's bytes (pad
// bytes aside), 0 when one differs or cannot be read back in full.
int T62VerifyVectors();
